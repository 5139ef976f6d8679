#pragma once
// The plain-text pieces that the readers of the program's own text files and
// lists share: the registry hive, mimeapps.list, desktop entries and the
// uri-lists of drops. Pure C++, so that any bytes can be fed to them.

#include <string_view>
#include <vector>

namespace quillet::qt {

inline char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Without the blanks, tabs and carriage returns at either end.
inline std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// The pieces between the separators: always one more than there are
// separators, so an empty text is one empty piece.
inline std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

}  // namespace quillet::qt
