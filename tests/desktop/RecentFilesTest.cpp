// The recent-files list written in place: other entries byte for byte, the
// video's own entry brought up to date, a damaged or foreign file left alone.
#include "platform/qt/desktop/RecentFiles.h"

#include <gtest/gtest.h>

#include <QFile>
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

}  // namespace
