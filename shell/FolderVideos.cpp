#include "shell/FolderVideos.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace quillet {

namespace {

bool isFlvName(std::string_view name) {
  constexpr std::string_view kExtension = ".flv";
  if (name.size() <= kExtension.size()) return false;
  const std::string_view tail = name.substr(name.size() - kExtension.size());
  return std::equal(tail.begin(), tail.end(), kExtension.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

enum class Wait { ForTheFolder, Never };

// nullopt also while the folder's first reading is under way (never waiting).
Maybe<std::string> neighbour(Files& files, Trace& trace, std::string_view current, int step,
                             Wait wait) {
  const AreaTrace shell(trace, TraceArea::Shell);
  // The text GotADrop had: the path ends at its first NUL.
  current = current.substr(0, current.find('\0'));
  if (step == 0 || current.empty() || current.find("://") != std::string_view::npos ||
      current.back() == '/') {
    shell.skipped("the folder's other video", "no local file is open");
    return std::nullopt;
  }
  const std::size_t slash = current.rfind('/');
  const std::string folder = slash == std::string_view::npos
                                 ? std::string(".")
                                 : std::string(current.substr(0, std::max<std::size_t>(slash, 1)));
  const std::string prefix =
      slash == std::string_view::npos ? std::string() : std::string(current.substr(0, slash + 1));
  const std::string_view name = current.substr(prefix.size());

  Files::Listing listed = files.latestListing(folder);
  if (listed.pending) {
    if (wait == Wait::Never) return std::nullopt;  // asked again once it is in
    Maybe<std::vector<std::string>> now = files.listFolder(folder);
    listed = {false,
              now ? std::make_shared<const std::vector<std::string>>(std::move(*now)) : nullptr};
  }
  if (!listed.names) {
    shell.skipped("the folder's other video", "the folder " + folder + " cannot be listed");
    return std::nullopt;
  }
  // The current video counts whatever its name ends in, so that the keys
  // lead from it to the folder's .flv files.
  std::vector<std::string_view> videos;
  for (const std::string& n : *listed.names)
    if (n == name || isFlvName(n)) videos.push_back(n);
  const auto at = std::find(videos.begin(), videos.end(), name);
  if (at == videos.end()) {
    shell.skipped("the folder's other video", "the video is no longer in its folder");
    return std::nullopt;
  }
  const auto index = (at - videos.begin()) + step;
  if (index < 0 || index >= static_cast<std::ptrdiff_t>(videos.size())) return std::nullopt;
  shell.ran("the folder's other video");
  return prefix + std::string(videos[static_cast<std::size_t>(index)]);
}

}  // namespace

Maybe<std::string> NeighbourVideo(Files& files, Trace& trace, std::string_view current, int step) {
  return neighbour(files, trace, current, step, Wait::ForTheFolder);
}

bool KnownNeighbour(Files& files, Trace& trace, std::string_view current, int step) {
  return neighbour(files, trace, current, step, Wait::Never).has_value();
}

}  // namespace quillet
