#pragma once
// libmpv reads an http(s) progressive download through Quillet's own code:
// the engine opens "quillet-http://N", a protocol of libmpv's stream
// callbacks. Its open, on libmpv's demuxer thread, starts the download
// (HttpByteSource, FFmpeg's http client) and looks at the first bytes: an FLV
// goes through the FLV reader, which repairs it as the bytes arrive, and
// anything else is served as it comes. The address never leaves the engine.

#include <mpv/client.h>

#include <QByteArray>
#include <memory>

namespace quillet::player {

// Makes the protocol known to a core (initialised, any thread).
bool addHttpFlvProtocol(mpv_handle* mpv);

// One download as the engine holds it: ending the handle (or a new open)
// stops the download and wakes whatever waits for its bytes.
class HttpStream {
 public:
  struct State;
  explicit HttpStream(std::shared_ptr<State> state);
  ~HttpStream();
  HttpStream(const HttpStream&) = delete;
  HttpStream& operator=(const HttpStream&) = delete;

  const QByteArray& url() const { return url_; }  // what loadfile opens

 private:
  std::shared_ptr<State> state_;
  QByteArray url_;
};

// The address (as libmpv would take it) made into the protocol's.
std::unique_ptr<HttpStream> openHttpStream(const QByteArray& address);

}  // namespace quillet::player
