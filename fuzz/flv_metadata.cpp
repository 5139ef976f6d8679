// The FLV metadata / AMF0 reader: any bytes as the start of an FLV file,
// then the key-frame lookup and the vseek address on what it read.
#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/FuzzCheck.h"
#include "player/flv/FlvMetadata.h"

using namespace quillet::player;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const unsigned char> head(data, size);
  const std::size_t need = flvMetadataBytesNeeded(head);
  const auto meta = readFlvMetadata(head);
  if (meta) FUZZ_CHECK(need > 0 && need <= size);
  // Once the head holds what was asked for, more bytes change nothing: the
  // reader gives the same answer on the shorter head.
  if (need > 0 && need < size) {
    const auto shorter = readFlvMetadata(head.first(need));
    FUZZ_CHECK(shorter.has_value() == meta.has_value());
    FUZZ_CHECK(flvMetadataBytesNeeded(head.first(need)) == need);
    if (shorter && meta) {
      FUZZ_CHECK(shorter->keyframes.times == meta->keyframes.times);
      FUZZ_CHECK(shorter->width == meta->width && shorter->height == meta->height);
    }
  }
  if (!meta) return 0;
  FUZZ_CHECK(std::isfinite(meta->duration) && meta->duration >= 0);
  FUZZ_CHECK(meta->width >= 0 && meta->height >= 0);
  const KeyframeIndex& index = meta->keyframes;
  FUZZ_CHECK(index.times.size() == index.filePositions.size());
  for (double target : {-1.0, 0.0, meta->duration / 2, meta->duration, 1e300, std::nan("")}) {
    if (auto point = keyframeAtOrBefore(index, target)) {
      FUZZ_CHECK(std::isfinite(point->time) && std::isfinite(point->filePosition));
      const QString address = vseekAddress(QStringLiteral("http://h/a.flv"),
                                           QStringLiteral("start"), point->filePosition);
      FUZZ_CHECK(address.startsWith(QStringLiteral("http://h/a.flv?start=")));
      FUZZ_CHECK(!address.contains(u'-') && !address.contains(u'e'));
    } else {
      FUZZ_CHECK(index.times.empty() || std::isnan(target));
    }
  }
  return 0;
}
