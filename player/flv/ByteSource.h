#pragma once
// Where the FLV reader takes its bytes from: an abstract source that reads at
// an offset, may know its size, and may still be growing (a download). The
// reader calls it from its own walking thread and from libmpv's demuxer
// thread at once, so implementations are thread-safe.
//
// For http, give the reader a source that blocks in readAt() until the bytes
// are there (or the download ended or failed) and reports size() once known;
// FileByteSource is the local one.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace quillet::player {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to out.size() bytes at offset, waiting for them when the source
  // is still growing. The count read; 0 at the end; negative on a read error
  // (the reader then treats the source as ending there).
  virtual std::int64_t readAt(std::uint64_t offset, std::span<unsigned char> out) = 0;
  // The full size when known (a file; a download with a length).
  virtual std::optional<std::uint64_t> size() const = 0;
  // The reader is going: a readAt() that waits must return now, and later
  // ones at once (any thread).
  virtual void cancel() {}
  // Another reader of the same bytes, for the walk: the kernel then reads
  // ahead for it and for the demuxer's reads each on their own. Null: the
  // walk shares this one.
  virtual std::unique_ptr<ByteSource> another() const { return nullptr; }
};

// A local file, read with pread(); its size is taken once, at open.
class FileByteSource final : public ByteSource {
 public:
  // Null when the file cannot be opened for reading (a directory, a pipe or
  // a device is refused).
  static std::unique_ptr<FileByteSource> open(const std::string& path);
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  std::int64_t readAt(std::uint64_t offset, std::span<unsigned char> out) override;
  std::optional<std::uint64_t> size() const override { return size_; }
  // The same file opened again (never another file put at its path since).
  std::unique_ptr<ByteSource> another() const override;

 private:
  FileByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  std::uint64_t size_;
};

// Opens a local file as a source; null when it cannot be read. What the
// engine reads local files through where a caller wants other than
// FileByteSource.
using FileSourceOpener = std::function<std::unique_ptr<ByteSource>(const std::string& path)>;

// Whether the bytes begin with the FLV signature; anything else (often an
// MP4 named .flv) goes to FFmpeg untouched.
bool looksLikeFlv(std::span<const unsigned char> head);

}  // namespace quillet::player
