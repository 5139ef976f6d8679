// The decoding of dropped text/uri-list data: any bytes as the list.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/qt/window/UriList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view list(reinterpret_cast<const char*>(data), size);
  const auto paths = quillet::qt::localPathsFromUriList(list, "myhost");
  std::size_t lines = static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n')) + 1;
  FUZZ_CHECK(paths.size() <= lines);
  for (const auto& path : paths) {
    // Only absolute local names, never a NUL that would cut them short.
    FUZZ_CHECK(!path.empty() && path.front() == '/');
    FUZZ_CHECK(path.find('\0') == std::string::npos);
    FUZZ_CHECK(path.size() <= size);
  }
  return 0;
}
