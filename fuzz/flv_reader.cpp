// The FLV reader: any bytes as a file. Whatever they are, the walk ends, the
// repaired stream is a well-formed FLV whose every PreviousTagSize is right,
// reads anywhere agree with it, and it is never much larger than the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "player/flv/FlvMetadata.h"
#include "player/flv/FlvReader.h"

using namespace quillet::player;

namespace {

class Memory final : public ByteSource {
 public:
  explicit Memory(std::span<const unsigned char> d) : d_(d.begin(), d.end()) {}
  std::int64_t readAt(std::uint64_t offset, std::span<unsigned char> out) override {
    if (offset >= d_.size()) return 0;
    const std::size_t n = std::min<std::size_t>(out.size(), d_.size() - offset);
    std::memcpy(out.data(), d_.data() + offset, n);
    return static_cast<std::int64_t>(n);
  }
  std::optional<std::uint64_t> size() const override { return d_.size(); }

 private:
  std::vector<unsigned char> d_;
};

std::uint32_t be(const std::vector<unsigned char>& s, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | s[at + i];
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const unsigned char> input(data, size);
  auto reader = FlvReader::start(std::make_unique<Memory>(input));
  std::vector<unsigned char> stream, buffer(1 + size % 7919);
  for (;;) {
    const std::int64_t n = reader->read(stream.size(), buffer);
    if (n <= 0) break;
    FUZZ_CHECK(static_cast<std::size_t>(n) <= buffer.size());
    stream.insert(stream.end(), buffer.begin(), buffer.begin() + n);
    FUZZ_CHECK(stream.size() <= 2 * size + 4096);
  }
  FUZZ_CHECK(reader->summary().walked);
  FUZZ_CHECK(reader->streamSize() == stream.size());
  // A header, then tags chained by their sizes to the very end.
  FUZZ_CHECK(stream.size() >= 13 && stream[0] == 'F' && be(stream, 5, 4) == 9);
  FUZZ_CHECK(be(stream, 9, 4) == 0);
  std::size_t pos = 13;
  std::uint32_t lastVideo = 0;
  while (pos < stream.size()) {
    FUZZ_CHECK(pos + 15 <= stream.size());
    const unsigned type = stream[pos];
    const std::uint32_t n = be(stream, pos + 1, 3);
    FUZZ_CHECK(type == 8 || type == 9 || type == 18);
    FUZZ_CHECK(pos + 15 + n <= stream.size());
    FUZZ_CHECK(be(stream, pos + 11 + n, 4) == n + 11);
    const std::uint32_t ms = be(stream, pos + 4, 3) | (std::uint32_t{stream[pos + 7]} << 24);
    if (type == 9) lastVideo = ms;
    pos += 15 + n;
  }
  (void)lastVideo;
  // Our own metadata reads back, with an index that points at tags.
  if (const auto meta = readFlvMetadata(stream)) {
    FUZZ_CHECK(meta->duration >= 0);
    for (double p : meta->keyframes.filePositions) FUZZ_CHECK(p >= 13 && p < stream.size());
  }
  // Reads anywhere give the same bytes.
  for (std::size_t at = 0; at < stream.size(); at += 1 + stream.size() / 5) {
    const std::int64_t n = reader->read(at, buffer);
    FUZZ_CHECK(n > 0 && std::equal(buffer.begin(), buffer.begin() + n, stream.begin() + at));
  }
  return 0;
}
