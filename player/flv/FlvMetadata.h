#pragma once
// The FLV facts libmpv does not expose: the first onMetaData's duration, size
// and key-frame index, read with a small AMF0 reader of our own.

#include <QString>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillet::player {

struct KeyframeIndex {
  std::vector<double> times;          // seconds
  std::vector<double> filePositions;  // byte offsets, same length as times
};

struct FlvMetadata {
  double duration = 0;  // 0 when absent
  int width = 0, height = 0;
  KeyframeIndex keyframes;  // empty when the file has no index
};

// Reads the first onMetaData script tag from the start of an FLV file.
// Nullopt for anything that is not an FLV with readable metadata.
std::optional<FlvMetadata> readFlvMetadata(std::span<const unsigned char> fileStart);

// How many bytes of the file's start readFlvMetadata needs to decide: once
// fileStart holds at least that many, reading more changes nothing. 0 when
// fileStart already shows that there is no readable metadata.
std::size_t flvMetadataBytesNeeded(std::span<const unsigned char> fileStart);

// One member of an onMetaData array: its key and its value's bytes (the
// AMF0 marker first), pointing into the data given.
struct Amf0Member {
  std::string key;
  std::span<const unsigned char> value;
};
// The top-level members of an onMetaData script tag's data, in order;
// nullopt for anything else or a malformed one.
std::optional<std::vector<Amf0Member>> onMetaDataMembers(std::span<const unsigned char> data);

struct SeekPoint {
  double time;
  double filePosition;
};
// The key frame at or before the target time; nullopt for an empty or
// malformed index.
std::optional<SeekPoint> keyframeAtOrBefore(const KeyframeIndex& index, double seconds);

// The address that reopens a stream at a byte position: flv + "?" + name +
// "=" + position.
QString vseekAddress(const QString& flv, const QString& vseekName, double filePosition);

}  // namespace quillet::player
