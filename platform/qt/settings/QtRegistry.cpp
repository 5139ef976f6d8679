#include "platform/qt/settings/QtRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/qt/settings/DesktopProjection.h"
#include "platform/qt/settings/RegistryStore.h"

namespace quillet::qt {

namespace {

// Nothing Quillet writes comes near this; a larger file is not read at all.
constexpr qint64 kMaxFileSize = 1 << 20;

QString hivePath(const DesktopDirs& dirs) {
  return dirs.configHome + "/quillet/registry";
}
QString mimeappsPath(const DesktopDirs& dirs) {
  return dirs.configHome + "/mimeapps.list";
}
QString applicationsDir(const DesktopDirs& dirs) {
  return dirs.dataHome + "/applications";
}

QString xdgDir(const char* variable, const char* fallbackUnderHome) {
  const QString value = qEnvironmentVariable(variable);
  // The XDG rules ignore relative settings.
  if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
  return QDir::homePath() + "/" + fallbackUnderHome;
}

enum class Read { Missing, Ok, Unusable };
struct FileText {
  Read state;
  std::string text;
};

FileText readSmallFile(const QString& path) {
  QFileInfo info(path);
  if (!info.exists()) return {Read::Missing, {}};
  QFile file(path);
  if (!info.isFile() || info.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly))
    return {Read::Unusable, {}};
  const QByteArray bytes = file.read(kMaxFileSize + 1);
  if (bytes.size() > kMaxFileSize || file.error() != QFileDevice::NoError)
    return {Read::Unusable, {}};
  return {Read::Ok, bytes.toStdString()};
}

// Written to a temporary file beside it and renamed over it, so readers
// never see half a file.
bool writeAtomically(const QString& path, const std::string& text) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  // A file not committed is discarded with its temporary file.
  QSaveFile file(path);
  const auto size = static_cast<qint64>(text.size());
  return file.open(QIODevice::WriteOnly) && file.write(text.data(), size) == size && file.commit();
}

std::string mimeForExtension(const std::string& extension) {
  // The one type Quillet associates, independent of the MIME database.
  if (QString::fromStdString(extension).compare(".flv", Qt::CaseInsensitive) == 0)
    return "video/x-flv";
  const QMimeType type = QMimeDatabase().mimeTypeForFile("file" + QString::fromStdString(extension),
                                                         QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault()) return {};
  return type.name().toStdString();
}

// Keeps the desktop's cache of handlers in step where the tool is installed;
// it only rewrites the cache file in that one directory.
void refreshDesktopDatabase(const QString& dir) {
  const QString tool = QStandardPaths::findExecutable("update-desktop-database");
  if (tool.isEmpty() || !QFileInfo(dir).isDir()) return;
  QProcess process;
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start(tool, {dir});
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished(1000);
  }
}

class QtRegistrySession : public RegistrySession {
 public:
  QtRegistrySession(DesktopDirs dirs, std::unique_ptr<QLockFile> lock, RegistryStore store,
                    std::string savedText)
      : dirs(std::move(dirs)),
        lock(std::move(lock)),
        store(std::move(store)),
        savedText(std::move(savedText)) {}

  // The hive is saved only when its text changed (every start writes the
  // same association again, and a save waits for the disk); the desktop is
  // brought in line every time, so a removed desktop entry comes back with
  // the next session.
  ~QtRegistrySession() override {
    if (changed) {
      const std::string text = store.serialize();
      if (text != savedText) writeAtomically(hivePath(dirs), text);
    }
    projectOntoDesktop(dirs);
  }

  Status regWrite(const std::string& name, const std::string& data) override {
    return noteChange(store.write(name, data));
  }
  Status regDelete(const std::string& name) override { return noteChange(store.remove(name)); }
  Maybe<std::string> regRead(const std::string& name) override { return store.read(name); }

 private:
  Status noteChange(Status status) {
    if (status) changed = true;
    return status;
  }

  DesktopDirs dirs;
  std::unique_ptr<QLockFile> lock;  // held until the session has been carried out
  RegistryStore store;
  std::string savedText;  // the hive file as read; empty when missing or unusable
  bool changed = false;
};

}  // namespace

DesktopDirs DesktopDirs::fromEnvironment() {
  return {xdgDir("XDG_CONFIG_HOME", ".config"), xdgDir("XDG_DATA_HOME", ".local/share")};
}

// One Quillet at a time edits the hive: a second one waits briefly for the
// lock and otherwise finds the store unavailable.
std::unique_ptr<RegistrySession> QtRegistry::open() {
  DesktopDirs dirs = fixedDirs ? *fixedDirs : DesktopDirs::fromEnvironment();
  if (!QDir().mkpath(dirs.configHome + "/quillet")) return nullptr;
  auto lock = std::make_unique<QLockFile>(hivePath(dirs) + ".lock");
  if (!lock->tryLock(3000)) return nullptr;
  const FileText hive = readSmallFile(hivePath(dirs));
  // A hive that cannot be read is started afresh; it only ever holds what
  // association writes again at every start.
  RegistryStore store = hive.state == Read::Ok ? RegistryStore::parse(hive.text) : RegistryStore{};
  return std::make_unique<QtRegistrySession>(std::move(dirs), std::move(lock), std::move(store),
                                             hive.state == Read::Ok ? hive.text : std::string());
}

// Quillet's desktop entry and its place in the defaults follow the hive;
// another program's entries, and files Quillet cannot read, are never
// touched. Removal deletes only an entry that carries Quillet's mark.
void projectOntoDesktop(const DesktopDirs& dirs) {
  const FileText hive = readSmallFile(hivePath(dirs));
  const RegistryStore store =
      hive.state == Read::Ok ? RegistryStore::parse(hive.text) : RegistryStore{};
  auto association = desktop::associationIn(store, mimeForExtension);
  Maybe<std::string> entry;
  if (association) entry = desktop::desktopEntry(*association);

  const QString entryPath = applicationsDir(dirs) + "/" + desktop::kDesktopId;
  const FileText current = readSmallFile(entryPath);
  const bool mayReplace = current.state == Read::Missing ||
                          (current.state == Read::Ok && desktop::isOurDesktopEntry(current.text));
  bool entryChanged = false;
  if (entry) {
    if (mayReplace && !(current.state == Read::Ok && current.text == *entry))
      entryChanged = writeAtomically(entryPath, *entry);
  } else if (current.state == Read::Ok && desktop::isOurDesktopEntry(current.text)) {
    entryChanged = QFile::remove(entryPath);
  }

  const std::vector<std::string> mimeTypes =
      entry ? association->mimeTypes : std::vector<std::string>{};
  const FileText mimeapps = readSmallFile(mimeappsPath(dirs));
  if (mimeapps.state != Read::Unusable) {
    const std::string edited = desktop::withDefaults(mimeapps.text, mimeTypes, desktop::kDesktopId);
    if (edited != mimeapps.text && !(mimeapps.state == Read::Missing && mimeTypes.empty()))
      writeAtomically(mimeappsPath(dirs), edited);
  }

  if (entryChanged) refreshDesktopDatabase(applicationsDir(dirs));
}

}  // namespace quillet::qt
