#pragma once
// The local files named by a text/uri-list, as file managers put it on a
// drag: one "file://" address a line, names percent-encoded. Pure C++ so it
// can be fed any bytes.

#include <string>
#include <string_view>
#include <vector>

namespace quillet::qt {

// The local paths in the list, in its order, as raw bytes. Comment lines,
// other schemes, other hosts than localHost (or "localhost" or none),
// relative paths and names with an encoded NUL are left out.
std::vector<std::string> localPathsFromUriList(std::string_view uriList,
                                               std::string_view localHost = {});

}  // namespace quillet::qt
