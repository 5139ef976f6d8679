// GIO before Qt: its structs have members named like Qt's keywords.
#ifdef QUILLET_HAVE_GIO
#include <gio/gio.h>
#endif

#include "player/resume/RecentPrivacy.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <future>

namespace quillet::player {

namespace {

bool gnomeRemembersRecentFiles() {
#ifdef QUILLET_HAVE_GIO
  // Only where the schema is installed: GSettings aborts on an unknown one.
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return true;
  GSettingsSchema* schema =
      g_settings_schema_source_lookup(source, "org.gnome.desktop.privacy", TRUE);
  if (!schema) return true;
  const bool hasKey = g_settings_schema_has_key(schema, "remember-recent-files");
  bool remember = true;
  if (hasKey) {
    GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
    remember = g_settings_get_boolean(settings, "remember-recent-files");
    g_object_unref(settings);
  }
  g_settings_schema_unref(schema);
  return remember;
#else
  return true;
#endif
}

bool readDesktop(const QString& configHome) {
  for (const char* gtk : {"/gtk-3.0/settings.ini", "/gtk-4.0/settings.ini"}) {
    QFile ini(configHome + QLatin1String(gtk));
    if (ini.open(QIODevice::ReadOnly) && !gtkRecentFilesEnabled(ini.read(1 << 20))) return false;
  }
  return gnomeRemembersRecentFiles();
}

QString configHome() {
  QString home = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
  if (home.isEmpty() || !QDir::isAbsolutePath(home)) home = QDir::homePath() + "/.config";
  return home;
}

std::shared_future<bool>& lastRead() {
  static std::shared_future<bool> read;
  return read;
}

}  // namespace

bool gtkRecentFilesEnabled(const QByteArray& settingsIni) {
  bool inSettings = false;
  bool enabled = true;
  for (QByteArray line : settingsIni.split('\n')) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    if (line.startsWith('[')) {
      inSettings = line == "[Settings]";
      continue;
    }
    const qsizetype eq = line.indexOf('=');
    if (!inSettings || eq < 0 || line.left(eq).trimmed() != "gtk-recent-files-enabled") continue;
    const QByteArray value = line.mid(eq + 1).trimmed().toLower();
    enabled = !(value == "false" || value == "0");
  }
  return enabled;
}

void refreshRecentPrivacy() {
  std::shared_future<bool>& read = lastRead();
  if (read.valid() && read.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
  read = std::async(std::launch::async, readDesktop, configHome()).share();
}

bool mayKeepRecentThings() {
  if (!lastRead().valid()) refreshRecentPrivacy();
  return lastRead().get();
}

}  // namespace quillet::player
