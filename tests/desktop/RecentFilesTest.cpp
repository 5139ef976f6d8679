// The recent-files list written in place: other entries byte for byte, the
// video's own entry brought up to date, a damaged or foreign file left alone.
#include "platform/qt/desktop/RecentFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

using quillet::qt::RecentFiles;

namespace {

const QByteArray kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\"\n"
    "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
    "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n";

QByteArray entry(const QByteArray& uri, const QByteArray& apps) {
  return "  <bookmark href=\"" + uri +
         "\" added=\"2020-01-01T00:00:00Z\" modified=\"2020-01-01T00:00:00Z\" "
         "visited=\"2020-01-01T00:00:00Z\">\n    <info>\n      <metadata "
         "owner=\"http://freedesktop.org\">\n        <mime:mime-type type=\"video/x-flv\"/>\n"
         "        <bookmark:applications>\n          " +
         apps +
         "\n        </bookmark:applications>\n      </metadata>\n    </info>\n"
         "  </bookmark>\n";
}

class RecentList : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    video = QFile::encodeName(dir.filePath("caf\u00e9 clip.flv"));
    QFile v(QFile::decodeName(video));
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
  }
  void write(const QByteArray& bytes) {
    QFile f(list);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QByteArray read() const {
    QFile f(list);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
  }

  // The list as GLib reads it (what GTK's recent files and file choosers
  // see), or GLib's complaint: {uri: {title, description, groups, private,
  // added, apps: {name: count}}}.
  QJsonObject glibReads() const {
    QProcess py;
    py.start("/usr/bin/python3", {QUILLET_GLIB_BOOKMARKS, list});
    if (!py.waitForFinished(30000)) return {{"error", "python did not finish"}};
    const QJsonDocument out = QJsonDocument::fromJson(py.readAllStandardOutput());
    if (!out.isObject()) return {{"error", QString::fromUtf8(py.readAllStandardError())}};
    return out.object();
  }

  QTemporaryDir dir;
  QString list = dir.filePath("recently-used.xbel");
  QByteArray video;
  RecentFiles recent{{QStringLiteral("Quillet"), QStringLiteral("quillet %f")}, list};
};

TEST_F(RecentList, TheVideosEntryIsAddedOrUpdatedAndEveryOtherByteStays) {
  EXPECT_FALSE(recent.add(video + ".missing", "video/x-flv"));
  EXPECT_EQ(read(), "(none)");  // nothing made for nothing added

  ASSERT_TRUE(recent.add(video, "video/x-flv"));
  const QByteArray uri = RecentFiles::fileUri(video);
  EXPECT_TRUE(uri.endsWith("/caf%C3%A9%20clip.flv")) << uri.toStdString();
  EXPECT_TRUE(read().contains("<bookmark href=\"" + uri + "\""));

  // Non-ASCII before the entry moves no offset; another program's record of
  // the same file stays beside Quillet's, whose count goes up.
  const QByteArray others = entry("file:///x/%E6%97%A5%E6%9C%AC.flv",
                                  "<bookmark:application name=\"日本 Player\" "
                                  "exec=\"p %u\" modified=\"2020-01-01T00:00:00Z\" "
                                  "count=\"3\"/>");
  const QByteArray otherApp =
      "<bookmark:application name=\"Videos\" exec=\"v %u\" modified=\"2020-01-01T00:00:00Z\" "
      "count=\"2\"/>";
  const QByteArray ours =
      "<bookmark:application name=\"Quillet\" exec=\"quillet %f\" "
      "modified=\"2020-01-01T00:00:00Z\" count=\"4\"/>";
  write(kHead + others + entry(uri, otherApp + "\n          " + ours) + "</xbel>\n");
  ASSERT_TRUE(recent.add(video, "video/x-flv"));
  const QByteArray after = read();
  EXPECT_TRUE(after.startsWith(kHead + others)) << after.toStdString();
  EXPECT_TRUE(after.contains(otherApp));
  EXPECT_TRUE(after.contains("count=\"5\""));
  EXPECT_EQ(after.count("name=\"Quillet\""), 1);
  EXPECT_TRUE(after.contains("added=\"2020-01-01T00:00:00Z\""));
  EXPECT_TRUE(after.endsWith("</bookmark>\n</xbel>\n"));

  // An entry of the file that Quillet never opened gets Quillet beside the others.
  write(kHead + entry(uri, otherApp) + "</xbel>\n");
  ASSERT_TRUE(recent.add(video, "video/x-flv"));
  EXPECT_TRUE(read().contains(otherApp + "\n          <bookmark:application name=\"Quillet\""))
      << read().toStdString();
}

TEST_F(RecentList, ADamagedOrForeignListIsLeftAlone) {
  for (const QByteArray& bad :
       {kHead + entry("file:///a.flv", "") /* cut short */,
        QByteArray("<?xml version=\"1.0\"?>\n<html><body/></html>\n"),
        kHead + entry("file:///caf\xe9.flv", "") + "</xbel>\n" /* not UTF-8 */,
        QByteArray("<xbel version=\"1.0\"></xbel>\n") /* without the namespaces */}) {
    write(bad);
    EXPECT_FALSE(recent.add(video, "video/x-flv"));
    EXPECT_EQ(read(), bad);
  }
}

// The video's entry as other programs leave it: GLib must still read the
// list, with Quillet among the entry's programs and every detail of it kept
// (its title, description, groups, private flag and first date).
TEST_F(RecentList, GLibReadsTheEntryUpdatedInPlaceWhateverShapeItHad) {
  const QByteArray uri = RecentFiles::fileUri(video);
  const QByteArray open = "  <bookmark href=\"" + uri +
                          "\" added=\"2020-01-02T03:04:05Z\" modified=\"2020-01-01T00:00:00Z\" "
                          "visited=\"2020-01-01T00:00:00Z\">\n    <title>My clip</title>\n"
                          "    <desc>From the trip</desc>\n";
  const QByteArray meta =
      "<metadata owner=\"http://freedesktop.org\">\n        <mime:mime-type "
      "type=\"video/x-flv\"/>\n        <bookmark:groups><bookmark:group>"
      "Trips</bookmark:group></bookmark:groups>\n        <bookmark:private/>\n";
  const QByteArray videos =
      "<bookmark:application name=\"Videos\" exec=\"v %u\" modified=\"2020-01-01T00:00:00Z\" "
      "count=\"2\"/>";
  const struct {
    const char* shape;
    QByteArray entry;
    int otherApps;  // other programs the entry names
  } shapes[] = {
      {"an empty applications list, closed at once",
       open + "    <info>\n      " + meta +
           "        <bookmark:applications/>\n      </metadata>\n"
           "    </info>\n  </bookmark>\n",
       0},
      {"an applications list another program opened",
       open + "    <info>\n      " + meta + "        <bookmark:applications>" + videos +
           "</bookmark:applications>\n      </metadata>\n    </info>\n  </bookmark>\n",
       1},
      {"no applications list",
       open + "    <info>\n      " + meta + "      </metadata>\n    </info>\n  </bookmark>\n", 0},
      {"only another owner's metadata",
       open + "    <info>\n      <metadata owner=\"http://example.org\">kept</metadata>\n"
              "    </info>\n  </bookmark>\n",
       0},
      {"the desktop's metadata closed at once",
       open + "    <info>\n      <metadata owner=\"http://freedesktop.org\"/>\n    </info>\n"
              "  </bookmark>\n",
       0},
      {"an info closed at once", open + "    <info/>\n  </bookmark>\n", 0},
      {"no info", open + "  </bookmark>\n", 0},
  };
  const QByteArray others = entry("file:///x/other.flv", videos);
  for (const auto& s : shapes) {
    SCOPED_TRACE(s.shape);
    write(kHead + others + s.entry + QByteArray(others).replace("other", "third") + "</xbel>\n");
    ASSERT_TRUE(recent.add(video, "video/x-flv"));
    const QByteArray after = read();
    EXPECT_TRUE(after.startsWith(kHead + others)) << after.toStdString();
    const QJsonObject glib = glibReads();
    ASSERT_FALSE(glib.contains("error")) << glib["error"].toString().toStdString() << "\n"
                                         << after.toStdString();
    EXPECT_EQ(glib.size(), 3);
    const QJsonObject mine = glib[QString::fromLatin1(uri)].toObject();
    EXPECT_EQ(mine["title"].toString(), "My clip");
    EXPECT_EQ(mine["description"].toString(), "From the trip");
    EXPECT_EQ(mine["added"].toInteger(), 1577934245);  // 2020-01-02T03:04:05Z
    EXPECT_EQ(mine["apps"].toObject()["Quillet"].toInt(), 1);
    EXPECT_EQ(mine["apps"].toObject().size(), 1 + s.otherApps);
    if (s.entry.contains("Trips")) {
      EXPECT_EQ(mine["groups"].toVariant().toStringList(), QStringList{"Trips"});
      EXPECT_TRUE(mine["private"].toBool());
    }
    EXPECT_EQ(glib["file:///x/third.flv"].toObject()["apps"].toObject()["Videos"].toInt(), 2);
  }
  // An entry closed at once, with nothing but its dates.
  write(kHead + "  <bookmark href=\"" + uri + "\" added=\"2020-01-02T03:04:05Z\"/>\n</xbel>\n");
  ASSERT_TRUE(recent.add(video, "video/x-flv"));
  const QJsonObject bare = glibReads()[QString::fromLatin1(uri)].toObject();
  EXPECT_EQ(bare["apps"].toObject()["Quillet"].toInt(), 1) << read().toStdString();
  EXPECT_EQ(bare["added"].toInteger(), 1577934245);

  // The list written anew is GLib's too.
  QFile::remove(list);
  ASSERT_TRUE(recent.add(video, "video/x-flv"));
  EXPECT_EQ(glibReads()[QString::fromLatin1(uri)].toObject()["apps"].toObject()["Quillet"].toInt(),
            1);
}

// A new list is the user's alone (it tells what they opened), as GTK makes
// it; an existing one keeps its mode. While another program holds the
// list's lock (KDE's, between its reading and its replacing), nothing is
// written over its work.
TEST_F(RecentList, ANewListIsPrivateAndALockedOneIsNotWrittenOver) {
  const mode_t mask = ::umask(022);
  const auto mode = [&] {
    struct stat st {};
    return ::stat(QFile::encodeName(list).constData(), &st) == 0 ? st.st_mode & 0777 : 0u;
  };
  EXPECT_TRUE(recent.add(video, "video/x-flv"));
  EXPECT_EQ(mode(), 0600u);
  ::chmod(QFile::encodeName(list).constData(), 0644);
  EXPECT_TRUE(recent.add(video, "video/x-flv"));
  EXPECT_EQ(mode(), 0644u);
  ::umask(mask);

  const QByteArray before = read();
  {
    QLockFile other(list + ".lock");
    ASSERT_TRUE(other.tryLock(0));
    EXPECT_FALSE(recent.add(video, "video/x-flv"));
    EXPECT_EQ(read(), before);
  }
  EXPECT_TRUE(recent.add(video, "video/x-flv"));
  EXPECT_TRUE(read().contains("count=\"3\""));
  EXPECT_FALSE(QFile::exists(list + ".lock"));  // no stray file
}

}  // namespace
