#include "platform/qt/window/UriList.h"

#include "platform/qt/system/TextParts.h"
#include "player/movie/FileAddress.h"

namespace quillet::qt {

std::vector<std::string> localPathsFromUriList(std::string_view uriList,
                                               std::string_view localHost) {
  std::vector<std::string> paths;
  for (const std::string_view piece : split(uriList, '\n')) {
    const std::string_view line = trimmed(piece);
    if (line.empty() || line.front() == '#') continue;
    if (auto path = player::pathOfFileAddress(line, localHost))
      paths.push_back(path->toStdString());
  }
  return paths;
}

}  // namespace quillet::qt
