#pragma once
// An http(s) progressive download as the FLV reader's byte source: FFmpeg's
// own http client (libavformat's avio, which libmpv loads anyway) fetches
// the address once, from its start, into a nameless spool file in the
// temporary folder, and reads are served from there as the bytes arrive. A
// read past what has arrived waits for it; nothing is asked for ahead of
// what playback and the reader's walk need, so the repairs happen as the
// bytes come in. The connection opens on the first read, on the thread that
// reads (the reader's, or libmpv's demuxer thread), never on the caller's.
//
// A server that answers with an error, a connection that fails, and stop()
// all end the source: reads from then on give what has arrived, then -1.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "player/flv/ByteSource.h"

namespace quillet::player {

class HttpByteSource final : public ByteSource {
 public:
  // What the engine keeps of a download to watch and end it while the
  // reader owns the source.
  class Control {
   public:
    // Wakes every read that waits and ends the download: no read waits again.
    void stop();
    // Bytes arrived so far; the whole size once the server told it.
    std::uint64_t arrived() const;
    std::optional<std::uint64_t> size() const;
    // The download ended: all bytes arrived, or it failed.
    bool ended() const;
    // It failed before a single byte arrived (no such address, refused).
    bool failedAtOpen() const;

   private:
    friend class HttpByteSource;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t arrived_ = 0;
    std::optional<std::uint64_t> size_;
    bool ended_ = false;
    bool failed_ = false;
    bool opened_ = false;
    std::atomic<bool> stopping_{false};
  };

  // Null when no spool file can be made.
  static std::unique_ptr<HttpByteSource> create(std::string url);
  ~HttpByteSource() override;
  HttpByteSource(const HttpByteSource&) = delete;
  HttpByteSource& operator=(const HttpByteSource&) = delete;

  std::int64_t readAt(std::uint64_t offset, std::span<unsigned char> out) override;
  std::optional<std::uint64_t> size() const override;

  std::shared_ptr<Control> control() const { return control_; }

 private:
  HttpByteSource(std::string url, int spool);
  void startDownload();
  void download();

  std::string url_;
  int spool_;  // the nameless file the bytes go to; closed with the source
  std::shared_ptr<Control> control_ = std::make_shared<Control>();
  std::once_flag started_;
  std::thread thread_;
};

}  // namespace quillet::player
