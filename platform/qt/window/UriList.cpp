#include "platform/qt/window/UriList.h"

#include "player/movie/FileAddress.h"

namespace quillet::qt {

namespace {

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::vector<std::string> localPathsFromUriList(std::string_view uriList,
                                               std::string_view localHost) {
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (start < uriList.size()) {
    auto end = uriList.find('\n', start);
    if (end == std::string_view::npos) end = uriList.size();
    const std::string_view line = trimmed(uriList.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '#') continue;
    if (auto path = player::pathOfFileAddress(line, localHost))
      paths.push_back(path->toStdString());
  }
  return paths;
}

}  // namespace quillet::qt
