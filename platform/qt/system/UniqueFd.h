#pragma once
#include <unistd.h>

#include <utility>

namespace quillet::qt {

// A file descriptor of this process's, closed when it goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }
  int get() const { return fd; }
  explicit operator bool() const { return fd >= 0; }
  void reset(int other = -1) {
    if (fd >= 0) ::close(fd);
    fd = other;
  }
  // Closes now, so that a failure to close (a late write error) is seen.
  bool close() { return ::close(std::exchange(fd, -1)) == 0; }

 private:
  int fd;
};

}  // namespace quillet::qt
