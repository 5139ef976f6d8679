#pragma once
// libmpv reads FLV through Quillet's own code, by two protocols of libmpv's
// stream callbacks; the addresses never leave the engine.
//
// Every local FLV file: the engine opens "quillet-flv://N", whose reads are
// the FLV reader's repaired stream; FFmpeg demuxes and decodes it as it would
// the file. Titles, recent files and screenshots use the file's own path.
//
// An http(s) progressive download: the engine opens "quillet-http://N". Its
// open, on libmpv's demuxer thread, starts the download (HttpByteSource,
// FFmpeg's http client) and looks at the first bytes: an FLV goes through the
// FLV reader, which repairs it as the bytes arrive, and anything else is
// served as it comes.

#include <mpv/client.h>

#include <QByteArray>
#include <memory>
#include <optional>

#include "player/flv/ByteSource.h"
#include "player/flv/FlvReader.h"

namespace quillet::player {

// Makes both protocols known to a core (initialised, any thread).
bool addFlvProtocols(mpv_handle* mpv);

struct RepairedFlv {
  std::shared_ptr<FlvReader> reader;
  QByteArray url;  // what loadfile opens; valid while reader lives
  // What the stream begins with; null: the reader's own.
  std::shared_ptr<const FlvReader::Prefix> prefix;
};

// How long a local file's walk rests at most, beyond its first part, while
// the player opens; the engine ends the rest once its first picture is drawn.
inline constexpr std::chrono::milliseconds kOpenRest{3000};

// A local file (the file system's bytes): its reader, walking, and its
// address. Nullopt when it is not FLV (an MP4 named .flv, say): libmpv then
// opens the file itself, as it always did. The walk never runs on the
// caller's thread; only the first bytes are read here; it rests (kOpenRest),
// then goes on. open, when given, reads the file in FileByteSource's place.
std::optional<RepairedFlv> openRepairedFlv(const QByteArray& path,
                                           const FileSourceOpener& open = {});

// The same for any byte source: the wiring point for http downloads (which
// may want a shorter first walk, see FlvReader::start). Load the address
// with repairedLoadfileArguments (player/engine/MpvOptions.h), plus the
// download's own per-file options.
RepairedFlv repairedFlvStream(std::unique_ptr<ByteSource> source,
                              std::uint64_t openWalkBytes = FlvReader::kOpenWalkBytes,
                              std::chrono::milliseconds rest = {});

// The same reader's tags again, after an onMetaData whose index lists every
// key frame walked by now: reopened at a far position, FFmpeg seeks there
// through the index instead of reading every tag on from the last key frame
// it knew. Nullopt while the reader's own stream is not ready.
std::optional<RepairedFlv> reindexedFlvStream(const std::shared_ptr<FlvReader>& reader);

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
