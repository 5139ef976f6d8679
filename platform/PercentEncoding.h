#pragma once
// "%XX" escaping, shared by the texts the program writes and reads: the
// player's FlashVars values, the registry hive's fields, dropped file URIs.

#include <string>
#include <string_view>

namespace quillet {

// Escapes every byte for which mustEscape is true as "%XX" (upper case).
template <class MustEscape>
std::string percentEncode(std::string_view text, MustEscape mustEscape) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (mustEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

inline int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decodes "%XX"; malformed escapes are kept as they stand.
inline std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = hexDigitValue(text[i + 1]), lo = hexDigitValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace quillet
