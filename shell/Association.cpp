#include "shell/Association.h"

#include "window/Form1.h"

namespace quillet {

namespace {

constexpr const char* kFileExts =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
constexpr const char* kTypeDescription = "Flash Video";

std::string openCommand(const std::string& exePath) {
  return exePath + " %L";
}

// Whether the name still holds exactly what AssociateFileType put there.
bool holdsOurs(RegistrySession& reg, const std::string& name, const std::string& data) {
  auto stored = reg.regRead(name);
  return stored && *stored == data;
}

}  // namespace

// Every step runs whatever became of the one before; a store that cannot be
// opened leaves everything as it was.
void AssociateFileType(Registry& registry, const std::string& extension,
                       const std::string& typeName, const std::string& exePath) {
  auto session = registry.open();
  if (!session) return;
  RegistrySession& reg = *session;
  const std::string typeKey = "HKCR\\" + typeName + "\\";
  const std::string perUser = kFileExts + extension + "\\";

  skipOnFailure(reg.regWrite("HKCR\\" + extension + "\\", typeName));
  skipOnFailure(reg.regWrite(typeKey, kTypeDescription));
  skipOnFailure(reg.regWrite(typeKey + "DefaultIcon\\", exePath));
  skipOnFailure(reg.regWrite(typeKey + "shell\\open\\command\\", openCommand(exePath)));
  skipOnFailure(reg.regDelete(perUser + "Application"));
  skipOnFailure(reg.regWrite(perUser + "Application", exePath));
  skipOnFailure(reg.regDelete(perUser + "OpenWithList\\"));
  skipOnFailure(reg.regWrite(perUser + "OpenWithList\\a", exePath));
}

// Deepest keys first. Removal takes away only what association wrote: each
// key goes only while the value association put in it is still unchanged
// (so an entry that another program or another copy of Quillet rewrote
// stays), the list of type identifiers, which Quillet never writes, is left
// alone, and a key that still holds subkeys cannot be deleted at all, so
// whatever was added below Quillet's keys survives together with them.
// Values that others may have put beside Quillet's in one of its keys go
// with that key: the store deletes keys whole, and nothing but Quillet writes
// its store. Nothing earlier is restored.
void RemoveFileAssociation(Registry& registry, const std::string& extension,
                           const std::string& typeName, const std::string& exePath) {
  auto session = registry.open();
  if (!session) return;
  RegistrySession& reg = *session;
  const std::string typeKey = "HKCR\\" + typeName + "\\";
  const std::string perUser = kFileExts + extension + "\\";
  const std::string extensionKey = "HKCR\\" + extension + "\\";

  if (holdsOurs(reg, perUser + "OpenWithList\\a", exePath))
    skipOnFailure(reg.regDelete(perUser + "OpenWithList\\"));
  if (holdsOurs(reg, perUser + "Application", exePath)) skipOnFailure(reg.regDelete(perUser));
  if (holdsOurs(reg, typeKey + "shell\\open\\command\\", openCommand(exePath))) {
    skipOnFailure(reg.regDelete(typeKey + "shell\\open\\command\\"));
    skipOnFailure(reg.regDelete(typeKey + "shell\\open\\"));
    skipOnFailure(reg.regDelete(typeKey + "shell\\"));
  }
  if (holdsOurs(reg, typeKey + "DefaultIcon\\", exePath))
    skipOnFailure(reg.regDelete(typeKey + "DefaultIcon\\"));
  if (holdsOurs(reg, typeKey, kTypeDescription)) skipOnFailure(reg.regDelete(typeKey));
  if (holdsOurs(reg, extensionKey, typeName)) skipOnFailure(reg.regDelete(extensionKey));
}

void Form1::Check1_Click() {
  const std::string exePath = platform.files.exePath();
  if (platform.window.check1().value() != 0) {
    AssociateFileType(platform.registry, ".flv", "image", exePath);
  } else {
    RemoveFileAssociation(platform.registry, ".flv", "image", exePath);
  }
}

}  // namespace quillet
