#pragma once
// The per-user registry store: a text hive under $XDG_CONFIG_HOME/quillet/
// (else ~/.config/quillet/), whose file-type association is carried over to
// the freedesktop model when each session ends.

#include <QString>
#include <optional>

#include "platform/Registry.h"

namespace quillet::qt {

// Where the hive and the desktop's files live.
struct DesktopDirs {
  QString configHome;  // $XDG_CONFIG_HOME: quillet/registry and mimeapps.list
  QString dataHome;    // $XDG_DATA_HOME: applications/quillet.desktop

  // From the environment as it is now, with the XDG fallbacks under $HOME.
  static DesktopDirs fromEnvironment();
};

class QtRegistry : public Registry {
 public:
  // The directories are looked up afresh at every open.
  QtRegistry() = default;
  explicit QtRegistry(DesktopDirs dirs) : fixedDirs(std::move(dirs)) {}
  std::unique_ptr<RegistrySession> open() override;

 private:
  std::optional<DesktopDirs> fixedDirs;
};

// Brings the desktop entry and the default application in line with the
// association the hive at dirs holds. Exposed for tests.
void projectOntoDesktop(const DesktopDirs& dirs);

}  // namespace quillet::qt
