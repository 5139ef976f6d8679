#include "platform/qt/settings/RegistryStore.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/PercentEncoding.h"
#include "platform/qt/system/TextParts.h"

namespace quillet::qt {

namespace {

constexpr std::string_view kHeader = "quillet-registry 1";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lowerAscii(x) == lowerAscii(y);
         });
}

// The roots a name may start with, long forms mapped to their abbreviations.
Maybe<std::string> rootName(std::string_view text) {
  static const std::array<std::pair<std::string_view, std::string_view>, 5> roots{{
      {"HKCR", "HKEY_CLASSES_ROOT"},
      {"HKCU", "HKEY_CURRENT_USER"},
      {"HKLM", "HKEY_LOCAL_MACHINE"},
      {"HKU", "HKEY_USERS"},
      {"HKCC", "HKEY_CURRENT_CONFIG"},
  }};
  for (const auto& [brief, full] : roots)
    if (equalsIgnoringCase(text, brief) || equalsIgnoringCase(text, full))
      return std::string(brief);
  return std::nullopt;
}

// Field escaping of the text form: "%", tabs, line breaks and every other
// control character become "%XX", so one record is always one line.
std::string escape(std::string_view text) {
  return percentEncode(text, [](unsigned char c) { return c == '%' || c < 0x20 || c == 0x7F; });
}

std::string unescape(std::string_view text) {
  return percentDecode(text);
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(lowerAscii(x)) < static_cast<unsigned char>(lowerAscii(y));
  });
}

Maybe<std::vector<std::string>> RegistryStore::parseKeyPath(std::string_view path) {
  auto parts = split(path, '\\');
  if (parts.size() > kMaxDepth) return std::nullopt;
  auto root = rootName(parts.front());
  if (!root) return std::nullopt;
  std::vector<std::string> out{*root};
  for (std::size_t i = 1; i < parts.size(); ++i) {
    if (parts[i].empty()) return std::nullopt;
    out.emplace_back(parts[i]);
  }
  return out;
}

Maybe<RegistryStore::Name> RegistryStore::parseName(std::string_view name) {
  const auto last = name.rfind('\\');
  if (last == std::string_view::npos) return std::nullopt;
  auto path = parseKeyPath(name.substr(0, last));
  if (!path) return std::nullopt;
  Name parsed{std::move(*path), std::nullopt};
  if (last + 1 < name.size()) parsed.value = std::string(name.substr(last + 1));
  return parsed;
}

const RegistryStore::Key* RegistryStore::find(const std::vector<std::string>& path) const {
  const auto* level = &roots;
  const Key* key = nullptr;
  for (const auto& part : path) {
    auto it = level->find(part);
    if (it == level->end()) return nullptr;
    key = it->second.get();
    level = &key->subkeys;
  }
  return key;
}

RegistryStore::Key* RegistryStore::find(const std::vector<std::string>& path) {
  return const_cast<Key*>(std::as_const(*this).find(path));
}

RegistryStore::Key* RegistryStore::create(const std::vector<std::string>& path) {
  auto* level = &roots;
  Key* key = nullptr;
  for (const auto& part : path) {
    auto& slot = (*level)[part];
    if (!slot) slot = std::make_unique<Key>();
    key = slot.get();
    level = &key->subkeys;
  }
  return key;
}

// Roots themselves hold nothing: names directly on a root are refused.
Status RegistryStore::write(std::string_view name, std::string_view data) {
  auto parsed = parseName(name);
  if (!parsed || parsed->path.size() < 2) return Status::failed("invalid name");
  Key* key = create(parsed->path);
  if (parsed->value) {
    key->values[*parsed->value] = std::string(data);
  } else {
    key->defaultValue = std::string(data);
  }
  return Status::ok();
}

Status RegistryStore::remove(std::string_view name) {
  auto parsed = parseName(name);
  if (!parsed || parsed->path.size() < 2) return Status::failed("invalid name");
  if (parsed->value) {
    Key* key = find(parsed->path);
    if (!key) return Status::failed("no such key");
    if (key->values.erase(*parsed->value) == 0) return Status::failed("no such value");
    return Status::ok();
  }
  std::vector<std::string> parentPath(parsed->path.begin(), parsed->path.end() - 1);
  Key* parent = find(parentPath);
  if (!parent) return Status::failed("no such key");
  auto it = parent->subkeys.find(parsed->path.back());
  if (it == parent->subkeys.end()) return Status::failed("no such key");
  if (!it->second->subkeys.empty()) return Status::failed("key has subkeys");
  parent->subkeys.erase(it);
  return Status::ok();
}

Maybe<std::string> RegistryStore::read(std::string_view name) const {
  auto parsed = parseName(name);
  if (!parsed) return std::nullopt;
  const Key* key = find(parsed->path);
  if (!key) return std::nullopt;
  if (!parsed->value) return key->defaultValue;
  auto it = key->values.find(*parsed->value);
  if (it == key->values.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> RegistryStore::subkeys(std::string_view keyName) const {
  if (!keyName.empty() && keyName.back() == '\\') keyName.remove_suffix(1);
  auto path = parseKeyPath(keyName);
  if (!path) return {};
  const Key* key = find(*path);
  if (!key) return {};
  std::vector<std::string> names;
  for (const auto& [name, sub] : key->subkeys) names.push_back(name);
  return names;
}

// One "K" line per key with its full path, then its default ("D") and named
// values ("V"), parents before children.
std::string RegistryStore::serialize() const {
  std::string out(kHeader);
  out += '\n';
  struct Walker {
    std::string& out;
    void walk(const Key& key, const std::string& path) {
      if (path.find('\\') != std::string::npos) {
        out += "K\t" + path + "\n";
        if (key.defaultValue) out += "D\t" + escape(*key.defaultValue) + "\n";
        for (const auto& [name, data] : key.values)
          out += "V\t" + escape(name) + "\t" + escape(data) + "\n";
      }
      for (const auto& [name, sub] : key.subkeys) walk(*sub, path + "\\" + escape(name));
    }
  } walker{out};
  for (const auto& [name, root] : roots) walker.walk(*root, name);
  return out;
}

// Records that cannot be read are dropped one by one; a text without the
// header is no hive at all.
RegistryStore RegistryStore::parse(std::string_view text) {
  RegistryStore store;
  auto lines = split(text, '\n');
  auto strip = [](std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  };
  if (lines.empty() || strip(lines.front()) != kHeader) return store;
  Key* current = nullptr;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    auto fields = split(strip(lines[i]), '\t');
    const auto kind = fields.front();
    if (kind == "K" && fields.size() == 2) {
      current = nullptr;
      auto parts = split(fields[1], '\\');
      if (parts.size() < 2 || parts.size() > kMaxDepth) continue;
      std::string path;
      for (std::size_t p = 0; p < parts.size(); ++p) {
        if (p) path += '\\';
        path += unescape(parts[p]);
      }
      // Components with a backslash of their own cannot be told apart.
      auto parsed = parseKeyPath(path);
      if (!parsed || parsed->size() != parts.size()) continue;
      current = store.create(*parsed);
    } else if (kind == "D" && fields.size() == 2 && current) {
      current->defaultValue = unescape(fields[1]);
    } else if (kind == "V" && fields.size() == 3 && current) {
      current->values[unescape(fields[1])] = unescape(fields[2]);
    }
  }
  return store;
}

}  // namespace quillet::qt
