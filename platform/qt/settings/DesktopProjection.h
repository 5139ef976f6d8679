#pragma once
// How the file-type association held in the registry hive shows on a
// freedesktop desktop: a desktop entry of Quillet's own and the default
// application in mimeapps.list. Pure text functions, no file access.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"
#include "platform/qt/settings/RegistryStore.h"
#include "quillet/Installation.h"

namespace quillet::qt::desktop {

// The installed menu entry's id: the entry written here takes its place in
// the user's menu while the association holds, and gives it back after.
inline constexpr const char* kDesktopId = installation::kDesktopId;

struct Association {
  std::string exePath;
  std::vector<std::string> mimeTypes;
};

// The association the hive holds: every extension under "HKCR\" whose type's
// open command is a program path followed by " %L", as association writes
// it. mimeForExtension names an extension's MIME type ("" when unknown).
Maybe<Association> associationIn(
    const RegistryStore& store,
    const std::function<std::string(const std::string& extension)>& mimeForExtension);

// One argument of an Exec line, quoted where the Desktop Entry rules need it.
std::string execArgument(std::string_view argument);
// The Exec value that starts the program with one file's path, escaped for
// the key file.
std::string execValue(const std::string& exePath);
// The whole desktop entry, or nullopt for a program path it cannot name (not
// absolute, not UTF-8, or holding a NUL).
Maybe<std::string> desktopEntry(const Association& association);
// Whether the text is a desktop entry that Quillet wrote.
bool isOurDesktopEntry(std::string_view text);

// mimeapps.list with desktopId the first default application for each of
// mimeTypes and named for no other type; every other line stays as it was.
std::string withDefaults(std::string_view mimeapps, const std::vector<std::string>& mimeTypes,
                         std::string_view desktopId);

}  // namespace quillet::qt::desktop
