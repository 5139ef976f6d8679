// Drops delivered to real widgets: the Qt hook in front of the window's own
// handling, with the drop logic of the program behind it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "platform/qt/window/QtDrops.h"
#include "platform/qt/window/QtWindow.h"
#include "shell/FileDrop.h"
#include "tests/fakes/FakePlatform.h"
#include "tests/logic/ShellTestSupport.h"
#include "window/Form1.h"

namespace quillet {
namespace {

// A window that records what reaches its own handling.
class RecordingWidget : public QWidget {
 public:
  std::vector<QEvent::Type> seen;
  bool welcomesDrags = false;  // a window with drop handling of its own

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::DragEnter || e->type() == QEvent::Drop ||
        e->type() == QEvent::MouseButtonPress)
      seen.push_back(e->type());
    if (welcomesDrags && e->type() == QEvent::DragEnter)
      static_cast<QDragEnterEvent*>(e)->acceptProposedAction();
    return QWidget::event(e);
  }
};

std::unique_ptr<QMimeData> uriList(const QByteArray& list) {
  auto mime = std::make_unique<QMimeData>();
  mime->setData("text/uri-list", list);
  return mime;
}

// As the desktop delivers a drag: first its entry, then the drop, at the
// same place. Whether the entry was welcomed is returned.
bool dragAndDrop(QWidget& target, const QMimeData& mime) {
  const QPointF at(target.width() / 2.0, target.height() / 2.0);
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &enter);
  const bool welcomed = enter.isAccepted();
  QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &drop);
  return welcomed;
}

class QtDropsOnAWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    widget.resize(200, 150);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    handle = static_cast<WindowHandle>(widget.winId());
  }

  RecordingWidget widget;
  WindowHandle handle = 0;
  qt::QtDrops drops;
  std::vector<std::string> opened;
  fakes::FakeTrace trace;
  FileDrop fileDrop{drops, trace, [this](std::string path) { opened.push_back(std::move(path)); }};
};

TEST_F(QtDropsOnAWidget, DropOpensTheFirstLocalFileAndGoesOn) {
  fileDrop.EnableFileDrop(handle);
  EXPECT_TRUE(widget.acceptDrops());
  EXPECT_EQ(fileDrop.previousProc(), qt::QtDrops::kOwnHandling);

  auto mime = uriList("file:///home/me/My%20Videos/clip%20%231.flv\r\nfile:///home/me/b.flv\r\n");
  EXPECT_TRUE(dragAndDrop(widget, *mime));
  EXPECT_EQ(opened, std::vector<std::string>{"/home/me/My Videos/clip #1.flv"});
  EXPECT_EQ(drops.openDrops(), 0u);
  EXPECT_EQ(widget.seen, (std::vector<QEvent::Type>{QEvent::DragEnter, QEvent::Drop}));

  // Any other event reaches the window's own handling too.
  QTest::mouseClick(&widget, Qt::LeftButton);
  EXPECT_EQ(widget.seen.back(), QEvent::MouseButtonPress);
}

TEST_F(QtDropsOnAWidget, DragsWithoutLocalFilesAreNotWelcomed) {
  fileDrop.EnableFileDrop(handle);
  auto web = uriList("http://example.com/a.flv\r\n");
  EXPECT_FALSE(dragAndDrop(widget, *web));
  QMimeData text;
  text.setText("/home/me/a.flv");
  EXPECT_FALSE(dragAndDrop(widget, text));
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(drops.openDrops(), 0u);
}

// A drop whose opening fails is released all the same, and the failure
// stays inside the program.
TEST_F(QtDropsOnAWidget, ReleasedWhenOpeningFails) {
  FileDrop failing(drops, trace, [](std::string) { throw std::runtime_error("cannot open"); });
  failing.EnableFileDrop(handle);
  auto mime = uriList("file:///tmp/broken.flv\r\n");
  dragAndDrop(widget, *mime);
  EXPECT_EQ(drops.openDrops(), 0u);
  failing.DisableFileDrop(handle);
}

TEST_F(QtDropsOnAWidget, DisableRestoresTheWindow) {
  fileDrop.EnableFileDrop(handle);
  fileDrop.DisableFileDrop(handle);
  EXPECT_FALSE(widget.acceptDrops());
  EXPECT_EQ(fileDrop.previousProc(), 0);
  QApplication::processEvents();  // the hook goes away at the next turn
  // Even a window that still takes drops itself opens nothing now.
  widget.setAcceptDrops(true);
  widget.welcomesDrags = true;
  auto mime = uriList("file:///tmp/late.flv\r\n");
  dragAndDrop(widget, *mime);
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(widget.seen.back(), QEvent::Drop);
}

TEST(QtDropsHandles, UnknownWindowsAndHandles) {
  qt::QtDrops drops;
  EXPECT_EQ(drops.setWindowProc(0, [](const WindowMessage&) {}), 0);
  EXPECT_EQ(drops.restoreWindowProc(0, qt::QtDrops::kOwnHandling), 0);
  EXPECT_EQ(drops.dragQueryFile(42, 0), "");
  drops.dragFinish(42);
  drops.dragAcceptFiles(0, true);
}

// The program's own window: Form_Load switches drops on, a drop opens the
// video through GotADrop, and unload switches them off again.
TEST(QtDropsOnTheMainWindow, DroppedVideoOpens) {
  fakes::FakePlatform fakes;
  qt::QtWindowOptions options;
  options.bannerDelay.reset();  // the test stays off the network
  qt::QtWindow window(options);
  qt::QtScreen screen(window);
  qt::QtDrops drops;
  Platform platform{window,           screen,          fakes.controls, fakes.components,
                    fakes.messageBox, fakes.processes, fakes.files,    fakes.registry,
                    fakes.dialogs,    drops,           fakes.trace};
  Form1 form(platform);
  form.Show();
  QWidget& w = window.widget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_TRUE(w.acceptDrops());

  QTemporaryDir dir;
  const QString file = dir.path() + "/my clip.flv";
  auto mime = std::make_unique<QMimeData>();
  mime->setUrls({QUrl::fromLocalFile(file)});
  fakes.journal.clear();
  EXPECT_TRUE(dragAndDrop(w, *mime));
  EXPECT_EQ(shelltest::openedVars(fakes.journal),
            std::vector<std::string>{shelltest::varsFor(file.toStdString())});
  EXPECT_EQ(drops.openDrops(), 0u);

  form.Form_Unload();
  EXPECT_FALSE(w.acceptDrops());
}

}  // namespace
}  // namespace quillet
