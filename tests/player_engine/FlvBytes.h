#pragma once
// Hand-built FLV files and AMF0 values, byte by byte, for the reader's edge
// cases.

#include <bit>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quillet::testing {

using Bytes = std::vector<unsigned char>;

class Amf {
 public:
  Amf& u8(unsigned v) {
    bytes.push_back(static_cast<unsigned char>(v));
    return *this;
  }
  Amf& u16(unsigned v) { return u8(v >> 8).u8(v & 0xff); }
  Amf& u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xffff); }
  Amf& raw(std::string_view s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  Amf& key(std::string_view k) { return u16(static_cast<unsigned>(k.size())).raw(k); }

  Amf& bigEndian(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    for (int shift = 56; shift >= 0; shift -= 8) u8((bits >> shift) & 0xff);
    return *this;
  }

  Amf& number(double v) { return u8(0).bigEndian(v); }
  Amf& boolean(bool v) { return u8(1).u8(v ? 1 : 0); }
  Amf& string(std::string_view s) { return u8(2).key(s); }
  Amf& object() { return u8(3); }
  Amf& null() { return u8(5); }
  Amf& undefined() { return u8(6); }
  Amf& reference(unsigned index) { return u8(7).u16(index); }
  Amf& ecma(std::uint32_t count) { return u8(8).u32(count); }
  Amf& end() { return u16(0).u8(9); }
  Amf& strict(std::uint32_t count) { return u8(10).u32(count); }
  Amf& date(double ms) { return u8(11).bigEndian(ms).u16(0); }
  Amf& longString(std::string_view s) {
    return u8(12).u32(static_cast<std::uint32_t>(s.size())).raw(s);
  }
  Amf& unsupported() { return u8(13); }
  Amf& xml(std::string_view s) { return u8(15).u32(static_cast<std::uint32_t>(s.size())).raw(s); }
  Amf& typedObject(std::string_view className) { return u8(16).key(className); }
  Amf& numbers(std::initializer_list<double> values) {
    strict(static_cast<std::uint32_t>(values.size()));
    for (double v : values) number(v);
    return *this;
  }

  Bytes bytes;
};

struct Tag {
  unsigned type;
  Bytes data;
};

inline Bytes flv(const std::vector<Tag>& tags) {
  Amf out;
  out.raw("FLV").u8(1).u8(5).u32(9).u32(0);
  for (const Tag& t : tags) {
    const auto size = static_cast<std::uint32_t>(t.data.size());
    out.u8(t.type).u8(size >> 16).u16(size & 0xffff).u32(0).u8(0).u16(0);
    out.bytes.insert(out.bytes.end(), t.data.begin(), t.data.end());
    out.u32(size + 11);
  }
  return out.bytes;
}

inline Bytes metadataFile(const Amf& body) {
  return flv({{18, body.bytes}});
}

}  // namespace quillet::testing
