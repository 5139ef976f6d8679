#include "platform/qt/settings/DesktopProjection.h"

#include <algorithm>
#include <set>

#include "platform/qt/system/TextParts.h"
#include "quillet/DesktopTranslations.h"

namespace quillet::qt::desktop {

namespace {

constexpr std::string_view kMarker = "X-Quillet-Association=true";
constexpr std::string_view kDefaultsGroup = "[Default Applications]";

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
  return out;
}

bool isUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t extra = c < 0x80                 ? 0
                              : c >= 0xC2 && c <= 0xDF ? 1
                              : c >= 0xE0 && c <= 0xEF ? 2
                              : c >= 0xF0 && c <= 0xF4 ? 3
                                                       : 4;  // no lead byte
    if (extra == 4 || i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    i += extra + 1;
  }
  return true;
}

// The characters after which an Exec argument must be quoted.
bool reserved(char c) {
  return std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos;
}

// General escaping of a key file's string value.
std::string keyFileString(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const char* escape = c == '\\'   ? "\\\\"
                         : c == '\n' ? "\\n"
                         : c == '\t' ? "\\t"
                         : c == '\r' ? "\\r"
                                     : nullptr;
    out += escape ? std::string_view(escape) : std::string_view(&c, 1);
  }
  return out;
}

std::vector<std::string> splitList(std::string_view value) {
  std::vector<std::string> items;
  for (const std::string_view part : split(value, ';'))
    if (const std::string_view item = trimmed(part); !item.empty()) items.emplace_back(item);
  return items;
}

std::string joinList(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += item + ";";
  return out;
}

bool isGroupHeader(std::string_view line) {
  line = trimmed(line);
  return !line.empty() && line.front() == '[' && line.back() == ']';
}

}  // namespace

Maybe<Association> associationIn(
    const RegistryStore& store,
    const std::function<std::string(const std::string& extension)>& mimeForExtension) {
  constexpr std::string_view kPlaceholder = " %L";
  Maybe<Association> found;
  for (const auto& extension : store.subkeys("HKCR\\")) {
    if (extension.size() < 2 || extension.front() != '.') continue;
    auto type = store.read("HKCR\\" + extension + "\\");
    if (!type || type->empty()) continue;
    auto command = store.read("HKCR\\" + *type + "\\shell\\open\\command\\");
    if (!command || command->size() <= kPlaceholder.size() ||
        command->compare(command->size() - kPlaceholder.size(), kPlaceholder.size(),
                         kPlaceholder) != 0)
      continue;
    std::string exe = command->substr(0, command->size() - kPlaceholder.size());
    std::string mime = mimeForExtension(extension);
    if (mime.empty()) continue;
    // One desktop entry runs one program: the first found decides.
    if (!found) found = Association{exe, {}};
    if (found->exePath != exe) continue;
    if (std::find(found->mimeTypes.begin(), found->mimeTypes.end(), mime) == found->mimeTypes.end())
      found->mimeTypes.push_back(mime);
  }
  return found;
}

// Inside double quotes, the quote, backquote, dollar and backslash take a
// backslash; a literal percent sign is doubled everywhere.
std::string execArgument(std::string_view argument) {
  const bool quote = argument.empty() || std::any_of(argument.begin(), argument.end(), reserved);
  std::string out;
  if (quote) out += '"';
  for (char c : argument) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
    if (c == '%') out += '%';
  }
  if (quote) out += '"';
  return out;
}

// Launchers that split the Exec line naively (xdg-utils in a plain session)
// look up its first word as a program; a quoted path there is not found. A
// path that needs quotes is therefore started through env, which such
// launchers do find, and which runs the program unchanged. env would read a
// path holding "=" as a variable setting, so such a path stands alone.
std::string execValue(const std::string& exePath) {
  std::string program = execArgument(exePath);
  const bool quoted = !program.empty() && program.front() == '"';
  if (quoted && exePath.find('=') == std::string::npos) program = "env " + program;
  return keyFileString(program + " %f");
}

Maybe<std::string> desktopEntry(const Association& association) {
  const std::string& exe = association.exePath;
  if (exe.empty() || exe.front() != '/' || exe.find('\0') != std::string::npos || !isUtf8(exe))
    return std::nullopt;
  std::string mimeTypes;
  for (const auto& mime : association.mimeTypes) mimeTypes += keyFileString(mime) + ";";
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Version=1.0\n"
         "Name=Quillet\n"
         "GenericName=Video Player\n"
         "Comment=Play Flash Video files\n" +
         std::string(installation::kDesktopTranslations) +
         // Without the program, desktops hide the entry and its association.
         "TryExec=" + keyFileString(exe) + "\n" + "Exec=" + execValue(exe) +
         "\n"
         "Icon=" +
         std::string(installation::kAppId) +
         "\n"
         "Terminal=false\n"
         "Categories=AudioVideo;Video;Player;\n"
         "Keywords=video;player;flv;flash;\n"
         "MimeType=" +
         mimeTypes +
         "\n"
         // The class of the window's WM_CLASS on X11: docks match the window to
         // the entry by it.
         "StartupWMClass=Quillet\n" +
         std::string(kMarker) + "\n";
}

bool isOurDesktopEntry(std::string_view text) {
  const std::vector<std::string_view> lines = split(text, '\n');
  return std::any_of(lines.begin(), lines.end(),
                     [](std::string_view line) { return trimmed(line) == kMarker; });
}

// Lines are edited only where they name a type Quillet handles or name
// Quillet; comments, other groups and other entries keep their exact text.
// Other applications named beside Quillet stay in their lists, after it.
std::string withDefaults(std::string_view mimeapps, const std::vector<std::string>& mimeTypes,
                         std::string_view desktopId) {
  std::set<std::string> wanted;
  for (const auto& mime : mimeTypes) wanted.insert(lowered(mime));
  std::set<std::string> done;

  const std::vector<std::string_view> pieces = split(mimeapps, '\n');
  std::vector<std::string> lines(pieces.begin(), pieces.end());
  if (lines.back().empty()) lines.pop_back();  // what follows the last line break

  std::vector<std::string> out;
  bool inDefaults = false;
  bool inFirstDefaults = false;
  bool seenDefaults = false;
  // New entries go after the last non-blank line of the first defaults group.
  Maybe<std::size_t> defaultsEnd;
  for (auto& line : lines) {
    if (isGroupHeader(line)) {
      inDefaults = trimmed(line) == kDefaultsGroup;
      inFirstDefaults = inDefaults && !seenDefaults;
      seenDefaults = seenDefaults || inDefaults;
      out.push_back(line);
      if (inFirstDefaults) defaultsEnd = out.size();
      continue;
    }
    const std::size_t before = out.size();
    const auto eq = line.find('=');
    const auto content = trimmed(line);
    if (!inDefaults || eq == std::string::npos || content.empty() || content.front() == '#') {
      out.push_back(line);
    } else {
      const std::string key(trimmed(std::string_view(line).substr(0, eq)));
      auto items = splitList(std::string_view(line).substr(eq + 1));
      const bool ours = std::find(items.begin(), items.end(), desktopId) != items.end();
      if (wanted.count(lowered(key))) {
        done.insert(lowered(key));
        if (items.empty() || items.front() != desktopId) {
          std::erase(items, std::string(desktopId));
          items.insert(items.begin(), std::string(desktopId));
          line = key + "=" + joinList(items);
        }
        out.push_back(line);
      } else if (ours) {
        std::erase(items, std::string(desktopId));
        if (!items.empty()) out.push_back(key + "=" + joinList(items));
      } else {
        out.push_back(line);
      }
    }
    if (inFirstDefaults && out.size() > before && !trimmed(out.back()).empty())
      defaultsEnd = out.size();
  }

  std::vector<std::string> missing;
  for (const auto& mime : mimeTypes)
    if (!done.count(lowered(mime)) &&
        std::find(missing.begin(), missing.end(), mime) == missing.end())
      missing.push_back(mime);
  for (auto& mime : missing) mime += "=" + std::string(desktopId) + ";";
  if (!missing.empty()) {
    if (defaultsEnd) {
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(*defaultsEnd), missing.begin(),
                 missing.end());
    } else {
      if (!out.empty() && !trimmed(out.back()).empty()) out.emplace_back();
      out.emplace_back(kDefaultsGroup);
      out.insert(out.end(), missing.begin(), missing.end());
    }
  }

  std::string text;
  for (const auto& line : out) text += line + "\n";
  return text;
}

}  // namespace quillet::qt::desktop
