#pragma once
// The per-user registry hive in memory, with the key/value rules of the
// registry names the association logic uses, and its text form on disk.
// Pure C++: no Qt and no file access, so a corrupt file can be fed to it
// directly.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace quillet::qt {

// Orders names without regard to ASCII case, as registry names are compared.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

class RegistryStore {
 public:
  // Keys may nest no deeper than this; deeper names are refused.
  static constexpr std::size_t kMaxDepth = 512;

  // A name ending in "\" is a key's default value, any other the named value
  // of the key before its last "\". Missing keys are created.
  Status write(std::string_view name, std::string_view data);
  // A key ("...\") goes with its values, but only when it exists and holds
  // no subkeys; a named value only when it exists. A root never goes.
  Status remove(std::string_view name);
  Maybe<std::string> read(std::string_view name) const;
  // The names of a key's direct subkeys ("HKCR\" lists HKCR's), in order.
  std::vector<std::string> subkeys(std::string_view keyName) const;
  bool empty() const { return roots.empty(); }

  // The text form, and a reader that takes whatever is well formed from any
  // input and never fails.
  std::string serialize() const;
  static RegistryStore parse(std::string_view text);

  friend bool operator==(const RegistryStore& a, const RegistryStore& b) {
    return a.serialize() == b.serialize();
  }

 private:
  struct Key {
    Maybe<std::string> defaultValue;
    std::map<std::string, std::string, CaseInsensitiveLess> values;
    std::map<std::string, std::unique_ptr<Key>, CaseInsensitiveLess> subkeys;
  };
  // A parsed name: the path of key components, root first, and for a named
  // value its name.
  struct Name {
    std::vector<std::string> path;
    Maybe<std::string> value;
  };
  static Maybe<Name> parseName(std::string_view name);
  static Maybe<std::vector<std::string>> parseKeyPath(std::string_view path);
  const Key* find(const std::vector<std::string>& path) const;
  Key* find(const std::vector<std::string>& path);
  Key* create(const std::vector<std::string>& path);

  std::map<std::string, std::unique_ptr<Key>, CaseInsensitiveLess> roots;
};

}  // namespace quillet::qt
