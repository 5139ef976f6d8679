#pragma once
// Results of platform operations. The logic suppresses most failures step by
// step; a Status says why a step failed, and skipOnFailure (platform/Trace.h)
// reports each such skip.

#include <optional>
#include <string>
#include <utility>

namespace quillet {

class [[nodiscard]] Status {
 public:
  static Status ok() { return Status(true, {}); }
  static Status failed(std::string why = {}) { return Status(false, std::move(why)); }
  explicit operator bool() const { return ok_; }
  const std::string& why() const { return why_; }

 private:
  Status(bool ok, std::string why) : ok_(ok), why_(std::move(why)) {}
  bool ok_;
  std::string why_;
};

template <class T>
using Maybe = std::optional<T>;

}  // namespace quillet
