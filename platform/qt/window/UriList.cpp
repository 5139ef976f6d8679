#include "platform/qt/window/UriList.h"

#include <algorithm>
#include <optional>

#include "platform/PercentEncoding.h"

namespace quillet::qt {

namespace {

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lowerAscii(x) == lowerAscii(y);
         });
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Malformed escapes stand for themselves; an encoded NUL cannot be a name.
std::optional<std::string> percentDecoded(std::string_view text) {
  std::string out = percentDecode(text);
  if (out.find('\0') != std::string::npos) return std::nullopt;
  return out;
}

std::optional<std::string> localPath(std::string_view uri, std::string_view localHost) {
  constexpr std::string_view kScheme = "file:";
  if (uri.size() < kScheme.size() || !equalsIgnoringCase(uri.substr(0, kScheme.size()), kScheme))
    return std::nullopt;
  uri.remove_prefix(kScheme.size());
  // A query or fragment is no part of a file's name (file managers encode
  // "?" and "#" inside names).
  uri = uri.substr(0, std::min(uri.find('?'), uri.find('#')));
  if (uri.substr(0, 2) == "//") {
    uri.remove_prefix(2);
    const auto slash = uri.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view host = uri.substr(0, slash);
    if (!host.empty() && !equalsIgnoringCase(host, "localhost") &&
        !(!localHost.empty() && equalsIgnoringCase(host, localHost)))
      return std::nullopt;
    uri.remove_prefix(slash);
  }
  if (uri.empty() || uri.front() != '/') return std::nullopt;
  auto path = percentDecoded(uri);
  if (!path || path->empty() || path->front() != '/') return std::nullopt;
  return path;
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
    if (auto path = localPath(line, localHost)) paths.push_back(std::move(*path));
  }
  return paths;
}

}  // namespace quillet::qt
