#pragma once
// The per-user registry store. Names look like "HKCR\.flv\" (a key's
// default value) or "HKCU\...\OpenWithList\a" (a named value).

#include <memory>
#include <string>

#include "platform/Status.h"

namespace quillet {

// One batch of operations; when it ends the association it holds is carried
// over to the desktop.
class RegistrySession {
 public:
  virtual ~RegistrySession() = default;
  virtual Status regWrite(const std::string& name, const std::string& data) = 0;
  virtual Status regDelete(const std::string& name) = 0;
  // The data stored under the name; nullopt when there is none.
  virtual Maybe<std::string> regRead(const std::string& name) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Null when the store cannot be opened.
  virtual std::unique_ptr<RegistrySession> open() = 0;
};

}  // namespace quillet
