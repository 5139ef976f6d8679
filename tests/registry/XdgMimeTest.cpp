// The association seen by the desktop's own tools: xdg-mime from xdg-utils,
// run in a private home with private XDG directories.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/qt/settings/DesktopProjection.h"
#include "platform/qt/settings/QtRegistry.h"
#include "platform/qt/settings/RegistryStore.h"
#include "shell/Association.h"
#include "tests/fakes/FakeTrace.h"

namespace quillet::qt {
namespace {

const QString kEntry = QString::fromLatin1(desktop::kDesktopId);

class XdgMime : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("xdg-mime").isEmpty())
      GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    ASSERT_TRUE(home.isValid());
    dirs = {home.path() + "/config", home.path() + "/data"};
    ASSERT_TRUE(QDir().mkpath(dirs.configHome));
    ASSERT_TRUE(QDir().mkpath(dirs.dataHome + "/applications"));
  }

  QString path(const QString& relative) const { return home.path() + "/" + relative; }

  static void writeFile(const QString& file, const QByteArray& bytes, bool executable = false) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    if (executable) f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  static QByteArray readFile(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  // A stand-in program; xdg-mime insists that a default's program exists.
  std::string program(const QString& relative) {
    writeFile(path(relative), "#!/bin/sh\nexit 0\n", true);
    return path(relative).toStdString();
  }
  void otherApplication(const QString& id, const QString& mime) {
    writeFile(dirs.dataHome + "/applications/" + id,
              "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\nMimeType=" +
                  mime.toUtf8() + ";\n");
  }

  // Which file a path names; a file replaced by a new one has a new number.
  static ino_t fileId(const QString& file) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    return st.st_ino;
  }

  QString queryDefault(const QString& mime) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"XDG_CURRENT_DESKTOP", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                          "MATE_DESKTOP_SESSION_ID", "DESKTOP_SESSION", "DISPLAY",
                          "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_MENU_PREFIX"})
      env.remove(v);
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", dirs.configHome);
    env.insert("XDG_DATA_HOME", dirs.dataHome);
    env.insert("XDG_CONFIG_DIRS", path("etc-xdg"));
    env.insert("XDG_DATA_DIRS", path("share"));
    p.setProcessEnvironment(env);
    p.start("xdg-mime", {"query", "default", mime});
    EXPECT_TRUE(p.waitForFinished(20000));
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
  }

  QTemporaryDir home;
  DesktopDirs dirs;
  fakes::FakeTrace trace;
};

TEST_F(XdgMime, AssociationAndRemovalBothWays) {
  const std::string exe = program("My Programs/quillet");
  otherApplication("viewer.desktop", "image/png");
  const QByteArray others =
      "# kept as it is\n[Default Applications]\nimage/png=viewer.desktop;\n\n"
      "[Added Associations]\nimage/png=viewer.desktop;\n";
  writeFile(dirs.configHome + "/mimeapps.list", others);
  ASSERT_EQ(queryDefault("image/png"), "viewer.desktop");
  QtRegistry registry(dirs);

  AssociateFileType(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(queryDefault("video/x-flv"), kEntry);
  EXPECT_EQ(queryDefault("image/png"), "viewer.desktop");
  const QByteArray entry = readFile(dirs.dataHome + "/applications/" + kEntry);
  EXPECT_TRUE(entry.contains("\nExec=env \"" + QByteArray::fromStdString(exe) + "\" %f\n"))
      << entry.toStdString();

  // Association at every start changes nothing further.
  AssociateFileType(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(readFile(dirs.configHome + "/mimeapps.list").count(kEntry.toLatin1()), 1);

  RemoveFileAssociation(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(queryDefault("video/x-flv"), "");
  EXPECT_FALSE(QFile::exists(dirs.dataHome + "/applications/" + kEntry));
  EXPECT_EQ(queryDefault("image/png"), "viewer.desktop");
  EXPECT_EQ(readFile(dirs.configHome + "/mimeapps.list"), others);
  EXPECT_TRUE(QFile::exists(dirs.dataHome + "/applications/viewer.desktop"));

  AssociateFileType(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(queryDefault("video/x-flv"), kEntry);
}

// Another player that was the default comes back once Quillet is removed;
// its desktop entry is never touched.
TEST_F(XdgMime, AnotherDefaultForTheSameTypeSurvives) {
  const std::string exe = program("bin/quillet");
  otherApplication("vlc.desktop", "video/x-flv");
  const QByteArray vlcEntry = readFile(dirs.dataHome + "/applications/vlc.desktop");
  writeFile(dirs.configHome + "/mimeapps.list",
            "[Default Applications]\nvideo/x-flv=vlc.desktop;\n");
  QtRegistry registry(dirs);

  AssociateFileType(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(queryDefault("video/x-flv"), kEntry);
  EXPECT_TRUE(readFile(dirs.dataHome + "/applications/" + kEntry)
                  .contains("\nExec=" + QByteArray::fromStdString(exe) + " %f\n"));
  RemoveFileAssociation(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(queryDefault("video/x-flv"), "vlc.desktop");
  EXPECT_EQ(readFile(dirs.dataHome + "/applications/vlc.desktop"), vlcEntry);
}

// With Quillet installed, the association's entry stands in for the menu
// entry under the same id while it holds; removing the association takes
// away only the default and that stand-in, never the installed entry.
TEST_F(XdgMime, RemovalLeavesTheInstalledMenuEntry) {
  const std::string exe = program("usr/bin/quillet");
  const QString installed = path("share/applications/") + kEntry;
  const QByteArray menuEntry =
      "[Desktop Entry]\nType=Application\nName=Quillet\nExec=quillet %f\nMimeType=video/x-flv;\n";
  writeFile(installed, menuEntry);
  QtRegistry registry(dirs);
  AssociateFileType(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(queryDefault("video/x-flv"), kEntry);
  RemoveFileAssociation(registry, trace, ".flv", "image", exe);
  EXPECT_FALSE(readFile(dirs.configHome + "/mimeapps.list").contains(kEntry.toLatin1()));
  EXPECT_FALSE(QFile::exists(dirs.dataHome + "/applications/" + kEntry));
  EXPECT_EQ(readFile(installed), menuEntry);
}

// An entry of Quillet's id that Quillet did not write is neither replaced nor
// removed.
TEST_F(XdgMime, ForeignEntryOfTheSameNameIsLeftAlone) {
  const std::string exe = program("bin/quillet");
  const QByteArray own = "[Desktop Entry]\nType=Application\nName=Mine\nExec=/bin/true %f\n";
  writeFile(dirs.dataHome + "/applications/" + kEntry, own);
  QtRegistry registry(dirs);
  AssociateFileType(registry, trace, ".flv", "image", exe);
  RemoveFileAssociation(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(readFile(dirs.dataHome + "/applications/" + kEntry), own);
}

// Repeated association leaves the open-with list holding only "a", in the
// hive on disk, whatever it held before.
TEST_F(XdgMime, HiveOnDiskAfterRepeatedAssociation) {
  const std::string exe = program("bin/quillet");
  const std::string list =
      "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\."
      "flv\\OpenWithList\\";
  QtRegistry registry(dirs);
  {
    auto session = registry.open();
    ASSERT_TRUE(session);
    ASSERT_TRUE(session->regWrite(list + "b", "/usr/bin/other"));
    ASSERT_TRUE(session->regWrite(list + "MRUList", "ba"));
  }
  const QString hivePath = dirs.configHome + "/quillet/registry";
  AssociateFileType(registry, trace, ".flv", "image", exe);
  const auto first = fileId(hivePath);
  // The same association again leaves the file as it is: no new file, no wait
  // for the disk.
  AssociateFileType(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(fileId(hivePath), first);
  const QByteArray hive = readFile(hivePath);
  RegistryStore store = RegistryStore::parse(hive.toStdString());
  EXPECT_EQ(store.read(list + "a"), exe);
  EXPECT_EQ(store.read(list + "b"), std::nullopt);
  EXPECT_EQ(store.read(list + "MRUList"), std::nullopt);
  EXPECT_EQ(store.read("HKCR\\image\\shell\\open\\command\\"), exe + " %L");
}

// A hive that is garbage is started afresh, and the association still works.
TEST_F(XdgMime, CorruptHiveOnDisk) {
  const std::string exe = program("bin/quillet");
  QByteArray garbage("quillet-registry 1\nK\tHKCR\\.flv\nD\t");
  garbage += QByteArray(5000, '\0') + "\xff\xfe\n\n\tK\tV\t\\\\\\%%";
  writeFile(dirs.configHome + "/quillet/registry", garbage);
  QtRegistry registry(dirs);
  AssociateFileType(registry, trace, ".flv", "image", exe);
  EXPECT_EQ(queryDefault("video/x-flv"), kEntry);
  RegistryStore store =
      RegistryStore::parse(readFile(dirs.configHome + "/quillet/registry").toStdString());
  EXPECT_EQ(store.read("HKCR\\.flv\\"), "image");
}

}  // namespace
}  // namespace quillet::qt
