#include "shell/Association.h"

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
void AssociateFileType(Registry& registry, Trace& trace, const std::string& extension,
                       const std::string& typeName, const std::string& exePath) {
  const AreaTrace steps(trace, TraceArea::Shell);
  auto session = registry.open();
  if (!session) {
    steps.skipped("AssociateFileType", "the registry cannot be opened");
    return;
  }
  RegistrySession& reg = *session;
  const std::string typeKey = "HKCR\\" + typeName + "\\";
  const std::string perUser = kFileExts + extension + "\\";
  const auto write = [&](const std::string& name, const std::string& data) {
    skipOnFailure(steps, "AssociateFileType: regwrite " + name, reg.regWrite(name, data));
  };
  const auto remove = [&](const std::string& name) {
    skipOnFailure(steps, "AssociateFileType: regdelete " + name, reg.regDelete(name));
  };

  write("HKCR\\" + extension + "\\", typeName);
  write(typeKey, kTypeDescription);
  write(typeKey + "DefaultIcon\\", exePath);
  write(typeKey + "shell\\open\\command\\", openCommand(exePath));
  remove(perUser + "Application");
  write(perUser + "Application", exePath);
  remove(perUser + "OpenWithList\\");
  write(perUser + "OpenWithList\\a", exePath);
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
void RemoveFileAssociation(Registry& registry, Trace& trace, const std::string& extension,
                           const std::string& typeName, const std::string& exePath) {
  const AreaTrace steps(trace, TraceArea::Shell);
  auto session = registry.open();
  if (!session) {
    steps.skipped("RemoveFileAssociation", "the registry cannot be opened");
    return;
  }
  RegistrySession& reg = *session;
  const std::string typeKey = "HKCR\\" + typeName + "\\";
  const std::string perUser = kFileExts + extension + "\\";
  const std::string extensionKey = "HKCR\\" + extension + "\\";
  const auto remove = [&](const std::string& name) {
    skipOnFailure(steps, "RemoveFileAssociation: regdelete " + name, reg.regDelete(name));
  };

  if (holdsOurs(reg, perUser + "OpenWithList\\a", exePath)) remove(perUser + "OpenWithList\\");
  if (holdsOurs(reg, perUser + "Application", exePath)) remove(perUser);
  if (holdsOurs(reg, typeKey + "shell\\open\\command\\", openCommand(exePath))) {
    remove(typeKey + "shell\\open\\command\\");
    remove(typeKey + "shell\\open\\");
    remove(typeKey + "shell\\");
  }
  if (holdsOurs(reg, typeKey + "DefaultIcon\\", exePath)) remove(typeKey + "DefaultIcon\\");
  if (holdsOurs(reg, typeKey, kTypeDescription)) remove(typeKey);
  if (holdsOurs(reg, extensionKey, typeName)) remove(extensionKey);
}

void Check1_Click(const CheckBox& check1, Registry& registry, Files& files, Trace& trace) {
  const std::string exePath = files.exePath();
  if (check1.value() != 0) {
    AssociateFileType(registry, trace, ".flv", "image", exePath);
  } else {
    RemoveFileAssociation(registry, trace, ".flv", "image", exePath);
  }
}

}  // namespace quillet
