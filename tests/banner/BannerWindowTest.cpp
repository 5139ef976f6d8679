// The banner strip in the real main window beside the real player (with a
// stand-in media engine): a click on the strip gives the page every key, the
// player's window-wide ones included, and a click anywhere else in the
// window gives the player its keys back. And the strip on its own: its
// helper runs only when asked, for web addresses only.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "platform/qt/banner/QtBanner.h"
#include "platform/qt/window/QtWindow.h"
#include "player/surface/FlashPlayerWidget.h"
#include "tests/player_gui/FakeEngine.h"

namespace quillet {
namespace {

using player::FlashPlayerWidget;
using State = player::PlaybackControl::State;

// The keys pressed on one widget, as it received them.
class KeysSeen : public QObject {
 public:
  explicit KeysSeen(QWidget& w) { w.installEventFilter(this); }
  std::vector<int> keys;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) keys.push_back(static_cast<QKeyEvent*>(event)->key());
    return false;
  }
};

// An environment variable set for the test's time only.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QByteArray& value)
      : name(name), had(qEnvironmentVariableIsSet(name)), old(qgetenv(name)) {
    qputenv(name, value);
  }
  ~ScopedEnv() {
    if (had)
      qputenv(name, old);
    else
      qunsetenv(name);
  }

 private:
  const char* name;
  bool had;
  QByteArray old;
};

TEST(BannerInTheWindow, KeysTypedIntoTheStripStayThereUntilAClickElsewhere) {
  // A screenshot the player would save lands here, and is looked for.
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const ScopedEnv homeEnv("HOME", QFile::encodeName(home.path()));
  const ScopedEnv configEnv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));

  qt::QtWindowOptions options;
  options.bannerDelay.reset();  // the test stays off the network
  qt::QtWindow window{options};
  QWidget& form = window.widget();
  QWidget& strip = window.banner().strip();
  auto engine = std::make_unique<player::testing::FakeEngine>();
  auto* fake = engine.get();
  auto* flash = new FlashPlayerWidget(std::move(engine), {}, &form);
  flash->setGeometry(0, 0, form.width(), window.picture3Widget().y());
  flash->show();
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

  flash->setProperty("FlashVars", "autoplay=true&flv=/v/a%20b.flv");
  QMetaObject::invokeMethod(flash, "LoadMovie", Q_ARG(int, 0),
                            Q_ARG(QString, QStringLiteral(QUILLET_PLAYER_MOVIE_PATH)));
  fake->durationSeconds = 100;
  emit fake->durationChanged(100);
  fake->positionSeconds = 50;
  ASSERT_EQ(flash->playback().state(), State::Playing);

  // As the keyboard does it: to whatever has the focus.
  const auto key = [](Qt::Key k) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, k);
  };
  KeysSeen onStrip(strip);

  QTest::mouseClick(&strip, Qt::LeftButton, {}, strip.rect().center());
  ASSERT_EQ(QApplication::focusWidget(), &strip);
  for (Qt::Key k : {Qt::Key_A, Qt::Key_S, Qt::Key_D, Qt::Key_K, Qt::Key_X, Qt::Key_M}) key(k);
  EXPECT_EQ(onStrip.keys,
            (std::vector<int>{Qt::Key_A, Qt::Key_S, Qt::Key_D, Qt::Key_K, Qt::Key_X, Qt::Key_M}));
  EXPECT_EQ(flash->playback().state(), State::Playing);
  EXPECT_FALSE(flash->playback().isMuted());

  // A click on the panel, which takes no focus itself, gives the keys back.
  QTest::mouseClick(&window.picture3Widget(), Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_NE(QApplication::focusWidget(), &strip);
  onStrip.keys.clear();
  QTest::keyClick(&form, Qt::Key_K);
  EXPECT_EQ(flash->playback().state(), State::Paused);

  // The same after a click on the strip and then on the picture.
  QTest::mouseClick(&strip, Qt::LeftButton, {}, strip.rect().center());
  key(Qt::Key_K);
  EXPECT_EQ(flash->playback().state(), State::Paused);
  EXPECT_EQ(onStrip.keys, std::vector<int>{Qt::Key_K});
  QTest::mouseClick(flash, Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_NE(QApplication::focusWidget(), &strip);
  key(Qt::Key_K);
  EXPECT_EQ(flash->playback().state(), State::Playing);
  EXPECT_EQ(onStrip.keys, std::vector<int>{Qt::Key_K});

  // Tab still walks on from the strip, and the keys go with it.
  QTest::mouseClick(&strip, Qt::LeftButton, {}, strip.rect().center());
  key(Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), &strip);
  key(Qt::Key_K);
  EXPECT_EQ(flash->playback().state(), State::Paused);

  // No screenshot was taken on the way.
  EXPECT_TRUE(QDir(home.path()).entryList({"*.png"}, QDir::Files).isEmpty());
  EXPECT_TRUE(QDir(home.filePath("Pictures")).entryList({"*.png"}, QDir::Files).isEmpty());
}

// The banner's helper runs only when asked; the strip never takes anything
// but web addresses, and keeps the last one for the helper.
TEST(BannerAdapter, StartsOnlyWhenAskedAndTakesOnlyWebAddresses) {
  QWidget host;
  qt::QtBanner banner(host);
  EXPECT_FALSE(banner.navigate("file:///etc/passwd"));
  EXPECT_FALSE(banner.navigate("javascript:alert(1)"));
  EXPECT_FALSE(banner.navigate("not an address"));
  EXPECT_TRUE(banner.address().isEmpty());
  EXPECT_TRUE(banner.navigate("http://127.0.0.1:9/info.php?n=Quillet"));
  EXPECT_FALSE(banner.navigate("ftp://127.0.0.1/x"));
  EXPECT_EQ(banner.address().toString(), "http://127.0.0.1:9/info.php?n=Quillet");
  host.show();
  EXPECT_EQ(banner.helper().processId(), 0);
  // The helper is looked for beside the running program.
  EXPECT_EQ(
      qt::defaultBannerHelper(),
      QFileInfo(QCoreApplication::applicationDirPath() + "/quillet-banner").absoluteFilePath());
}

}  // namespace
}  // namespace quillet
