#pragma once
// libmpv reads every local FLV file through Quillet's FLV reader: the engine
// opens "quillet-flv://N", a protocol of libmpv's stream callbacks whose
// reads are the reader's repaired stream; FFmpeg demuxes and decodes it as
// it would the file. The address never leaves the engine: titles, recent
// files and screenshots use the file's own path.

#include <mpv/client.h>

#include <QByteArray>
#include <memory>
#include <optional>

#include "player/flv/ByteSource.h"
#include "player/flv/FlvReader.h"

namespace quillet::player {

// Makes the protocol known to a core (initialised, any thread).
bool addRepairedFlvProtocol(mpv_handle* mpv);

struct RepairedFlv {
  std::shared_ptr<FlvReader> reader;
  QByteArray url;  // what loadfile opens; valid while reader lives
  // What the stream begins with; null: the reader's own.
  std::shared_ptr<const FlvReader::Prefix> prefix;
};

// A local file (the file system's bytes): its reader, walking, and its
// address. Nullopt when it is not FLV (an MP4 named .flv, say): libmpv then
// opens the file itself, as it always did. The walk never runs on the
// caller's thread; only the first bytes are read here.
std::optional<RepairedFlv> openRepairedFlv(const QByteArray& path);

// The same for any byte source: the wiring point for http downloads (which
// may want a shorter first walk, see FlvReader::start). Load the address
// with repairedLoadfileArguments (player/engine/MpvOptions.h), plus the
// download's own per-file options.
RepairedFlv repairedFlvStream(std::unique_ptr<ByteSource> source,
                              std::uint64_t openWalkBytes = FlvReader::kOpenWalkBytes);

// The same reader's tags again, after an onMetaData whose index lists every
// key frame walked by now: reopened at a far position, FFmpeg seeks there
// through the index instead of reading every tag on from the last key frame
// it knew. Nullopt while the reader's own stream is not ready.
std::optional<RepairedFlv> reindexedFlvStream(const std::shared_ptr<FlvReader>& reader);

}  // namespace quillet::player
