// Where videos were left: what is worth keeping, the store's file as it
// survives damage, a folder it cannot write, a full list and names that are
// not UTF-8; and the desktop's word on keeping recent things.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "player/resume/PlaceStore.h"
#include "player/resume/RecentPrivacy.h"

using quillet::player::gtkRecentFilesEnabled;
using quillet::player::kMaxPlaces;
using quillet::player::PlaceStore;
using quillet::player::worthResuming;

namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

TEST(PlaceStore, OnlyPlacesWellInsideVideosLongerThanTwoMinutesAreWorthKeeping) {
  EXPECT_TRUE(worthResuming(120, 180));
  EXPECT_TRUE(worthResuming(60.5, 121));
  EXPECT_FALSE(worthResuming(60, 600)) << "a minute in is still the start";
  EXPECT_FALSE(worthResuming(150, 180)) << "half a minute before the end is the end";
  EXPECT_FALSE(worthResuming(90, 120)) << "two minutes is short";
  EXPECT_FALSE(worthResuming(qQNaN(), 600));
  EXPECT_FALSE(worthResuming(100, qInf()));
}

TEST(PlaceStore, PlacesOutliveTheStoreKeyedByPathAndSizeWithNamesThatAreNotUtf8) {
  QTemporaryDir dir;
  const QString file = dir.path() + "/state/quillet/places.json";
  const QByteArray latin1 = "/videos/caf\xe9.flv";  // a Latin-1 name
  {
    PlaceStore store(file);
    EXPECT_FALSE(store.place(latin1, 10).has_value());
    store.remember(latin1, 10, 75.5);
    store.remember("/videos/b.flv", 20, 61);
    store.remember("/videos/b.flv", 20, 90);  // the same video again: one place
    ASSERT_TRUE(store.save());
  }
  EXPECT_EQ(QFile::permissions(file) & 0x0077, 0) << "readable by its owner only";
  PlaceStore again(file);
  EXPECT_EQ(again.count(), 2);
  EXPECT_EQ(again.place(latin1, 10), 75.5);
  EXPECT_FALSE(again.place(latin1, 11).has_value()) << "another size is another video";
  EXPECT_EQ(again.place("/videos/b.flv", 20), 90);
  again.forget("/videos/b.flv", 20);
  ASSERT_TRUE(again.save());
  EXPECT_FALSE(PlaceStore(file).place("/videos/b.flv", 20).has_value());
  EXPECT_FALSE(QFile::exists(file + ".damaged"));
}

TEST(PlaceStore, ADamagedFileIsSetAsideAndThePlacesStartAfresh) {
  QTemporaryDir dir;
  const QString file = dir.path() + "/places.json";
  for (const QByteArray& damage :
       {QByteArray("{\"places\": [{\"path\": \"/a.flv\", \"size\": 1, \"seconds\": 7"),
        QByteArray("[1, 2, 3]"), QByteArray("{\"places\": [{\"path\": \"\", \"size\": -4}]}"),
        QByteArray("\x00\xff\xfe garbage", 12)}) {
    SCOPED_TRACE(damage.toStdString());
    QFile::remove(file + ".damaged");
    write(file, damage);
    PlaceStore store(file);
    EXPECT_EQ(store.count(), 0);
    EXPECT_EQ(readAll(file + ".damaged"), damage) << "kept as it was, beside";
    EXPECT_FALSE(QFile::exists(file));
    store.remember("/a.flv", 1, 70);
    ASSERT_TRUE(store.save());
    EXPECT_EQ(PlaceStore(file).place("/a.flv", 1), 70);
  }
}

TEST(PlaceStore, AFolderThatCannotBeWrittenLeavesThePlacesInMemory) {
  QTemporaryDir dir;
  // A file where the folder should be: no one, root included, can write there.
  write(dir.path() + "/state", "not a folder");
  PlaceStore store(dir.path() + "/state/quillet/places.json");
  store.remember("/a.flv", 1, 70);
  EXPECT_FALSE(store.save());
  EXPECT_EQ(store.place("/a.flv", 1), 70);
  EXPECT_EQ(readAll(dir.path() + "/state"), "not a folder");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{"state"})
      << "no stray files";
}

TEST(PlaceStore, AFullStoreDropsTheLeastRecentlyUsed) {
  QTemporaryDir dir;
  const QString file = dir.path() + "/places.json";
  {
    PlaceStore store(file);
    for (int i = 0; i < kMaxPlaces; ++i) store.remember("/v/" + QByteArray::number(i), i, 100);
    store.remember("/v/0", 0, 101);  // used again: now the newest
    ASSERT_TRUE(store.save());
  }
  PlaceStore store(file);
  EXPECT_EQ(store.count(), kMaxPlaces);
  store.remember("/v/new", 5, 100);
  EXPECT_EQ(store.count(), kMaxPlaces);
  EXPECT_FALSE(store.place("/v/1", 1).has_value()) << "the oldest went";
  EXPECT_EQ(store.place("/v/0", 0), 101);
  EXPECT_EQ(store.place("/v/new", 5), 100);
  EXPECT_TRUE(store.place("/v/2", 2).has_value());
}

// Two players open at once, each with its store of the same file: neither
// save loses what the other kept or forgot, and each sees the other's.
TEST(PlaceStore, TwoPlayersSharingTheFileKeepEachOthersPlaces) {
  QTemporaryDir dir;
  const QString file = dir.path() + "/places.json";
  PlaceStore first(file), second(file);
  first.remember("/a.flv", 1, 70);
  second.remember("/b.flv", 2, 80);
  second.remember("/gone.flv", 3, 90);
  ASSERT_TRUE(first.save());
  ASSERT_TRUE(second.save());
  EXPECT_EQ(first.place("/b.flv", 2), 80) << "read again once the other wrote";
  first.forget("/gone.flv", 3);
  first.remember("/a.flv", 1, 75);
  second.remember("/c.flv", 4, 100);
  ASSERT_TRUE(first.save());
  ASSERT_TRUE(second.save());
  PlaceStore reader(file);
  EXPECT_EQ(reader.place("/a.flv", 1), 75);
  EXPECT_EQ(reader.place("/b.flv", 2), 80);
  EXPECT_EQ(reader.place("/c.flv", 4), 100);
  EXPECT_FALSE(reader.place("/gone.flv", 3).has_value()) << "forgotten by one, kept by none";
  EXPECT_EQ(reader.count(), 3);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{"places.json"})
      << "no lock or temporary file left";

  // A short video watched to its end forgets a place that was never kept:
  // no file is written for it.
  QTemporaryDir empty;
  PlaceStore none(empty.path() + "/places.json");
  none.forget("/short.flv", 5);
  EXPECT_TRUE(none.save());
  EXPECT_TRUE(QDir(empty.path()).isEmpty());
}

TEST(PlaceStore, TheStateFolderFollowsTheDesktopsVariable) {
  const QByteArray saved = qgetenv("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", "/somewhere/state");
  EXPECT_EQ(PlaceStore::defaultFile(), "/somewhere/state/quillet/places.json");
  qputenv("XDG_STATE_HOME", "relative/state");  // to be ignored
  EXPECT_EQ(PlaceStore::defaultFile(), QDir::homePath() + "/.local/state/quillet/places.json");
  qunsetenv("XDG_STATE_HOME");
  EXPECT_EQ(PlaceStore::defaultFile(), QDir::homePath() + "/.local/state/quillet/places.json");
  if (!saved.isNull()) qputenv("XDG_STATE_HOME", saved);
}

TEST(RecentPrivacy, GtkSettingsTurnRecentFilesOffOnlyInTheirSettingsGroup) {
  EXPECT_TRUE(gtkRecentFilesEnabled(""));
  EXPECT_FALSE(gtkRecentFilesEnabled("[Settings]\ngtk-recent-files-enabled=false\n"));
  EXPECT_FALSE(gtkRecentFilesEnabled("[Settings]\n  gtk-recent-files-enabled = 0 \n"));
  EXPECT_FALSE(gtkRecentFilesEnabled("[Settings]\ngtk-recent-files-enabled=FALSE"));
  EXPECT_TRUE(gtkRecentFilesEnabled("[Settings]\ngtk-recent-files-enabled=true\n"));
  EXPECT_TRUE(gtkRecentFilesEnabled("[Other]\ngtk-recent-files-enabled=false\n"));
  EXPECT_TRUE(gtkRecentFilesEnabled("[Settings]\n# gtk-recent-files-enabled=false\n"));
  EXPECT_TRUE(gtkRecentFilesEnabled("[Settings]\ngtk-recent-files-max-age=0\n"));
}

TEST(RecentPrivacy, EitherGtkVersionsSettingsSayNoForAll) {
  QTemporaryDir config;
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  quillet::player::refreshRecentPrivacy();
  const bool before = quillet::player::mayKeepRecentThings();
  write(config.path() + "/gtk-4.0/settings.ini", "[Settings]\ngtk-recent-files-enabled=false\n");
  quillet::player::refreshRecentPrivacy();
  EXPECT_FALSE(quillet::player::mayKeepRecentThings());
  QFile::remove(config.path() + "/gtk-4.0/settings.ini");
  quillet::player::refreshRecentPrivacy();
  EXPECT_EQ(quillet::player::mayKeepRecentThings(), before) << "a change is followed";
  if (saved.isNull()) {
    qunsetenv("XDG_CONFIG_HOME");
  } else {
    qputenv("XDG_CONFIG_HOME", saved);
  }
}

}  // namespace
