// Every hostile input, through a drop and through the open dialog, in one
// running window with the real player: no crash, no hang, the error layer
// where there is nothing to play, a strange name plays, the window keeps
// laying itself out, one player at a time, and the temporary movie goes
// with the window.
#include <gtest/gtest.h>

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdio>
#include <memory>

#include "platform/qt/banner/QtBanner.h"
#include "tests/support/RealProgram.h"

namespace quillet::hostile {
namespace {

using Part = player::FlashPlayerWidget::Part;

struct Case {
  QString name, path, kind;
};

std::vector<Case> makeCases(const QString& folder) {
  QProcess maker;
  maker.start(QUILLET_PYTHON, {QUILLET_MAKE_CASES, folder});
  if (!maker.waitForFinished(120000) || maker.exitCode() != 0) return {};
  QFile manifest(folder + "/manifest.json");
  if (!manifest.open(QIODevice::ReadOnly)) return {};
  std::vector<Case> cases;
  for (const auto& item : QJsonDocument::fromJson(manifest.readAll())["cases"].toArray()) {
    const QJsonObject c = item.toObject();
    cases.push_back({c["name"].toString(), c["path"].toString(), c["kind"].toString()});
  }
  return cases;
}

QStringList movieFiles() {
  return QDir(qEnvironmentVariable("TMPDIR")).entryList({"TMP*.tmp"}, QDir::Files);
}

// As the desktop delivers a drag: its entry, then the drop.
void drop(QWidget& target, const QMimeData& mime) {
  const QPoint at(target.width() / 2, target.height() / 4);
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &enter);
  QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &dropped);
}

void drop(QWidget& target, const QString& path) {
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(path)});
  drop(target, mime);
}

// Clicks Open File and types the path into Qt's own dialog. A dialog that
// does not take the path (it opens a folder instead) is cancelled.
void openThroughDialog(RealProgram& program, const QString& path) {
  auto* poll = new QTimer;
  int typed = 0;
  QObject::connect(poll, &QTimer::timeout, [poll, path, &typed] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    if (typed++ == 0) {
      if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) {
        edit->setText(path);
        QTest::keyClick(edit, Qt::Key_Return);
      }
    } else if (typed > 25) {  // still up after half a second
      dialog->reject();
    }
  });
  poll->start(20);
  QTest::mouseClick(&program.window.openFileButton(), Qt::LeftButton);
  delete poll;
}

// Waits until the player shows what the case calls for; "any" accepts
// playing, the error layer, or a player still trying after a while.
void settle(RealProgram& program, const Case& c) {
  const auto shown = [&](Part part) {
    auto* p = program.currentPlayer();
    return p && p->isShown(part);
  };
  const auto playing = [&] {
    auto* p = program.currentPlayer();
    return p && p->displayedTime() != "00:00" && !p->isShown(Part::Message);
  };
  if (c.kind == "plays") {
    EXPECT_TRUE(waitFor(playing, 20000)) << "does not play";
  } else if (c.kind == "error") {
    EXPECT_TRUE(waitFor([&] { return shown(Part::Message); }, 15000)) << "no error layer";
    EXPECT_FALSE(playing());
  } else {
    waitFor([&] { return shown(Part::Message) || playing(); }, 3000);
  }
}

// A resize reaches the layout: the player is as wide as the window's outer
// width, as the window's layout makes it, and the panel sits right above
// the banner at the bottom.
void expectLaidOut(RealProgram& program, QSize size) {
  QWidget& w = program.window.widget();
  w.resize(size);
  QWidget* player = program.controls.widgetOf("flashplayer");
  ASSERT_NE(player, nullptr);
  // The outer width with the frame the window manager reported (Qt's own
  // frame margins are cached and may lag behind).
  const auto outerWidth = [&] {
    const auto twips = program.window.width();
    return twips ? qRound(*twips / program.screen.twipsPerPixelX()) : -1;
  };
  // The window manager answers the request first; then the layout follows.
  EXPECT_TRUE(waitFor([&] { return w.size() == size && player->width() == outerWidth(); }, 5000));
  EXPECT_GT(outerWidth(), size.width());
  EXPECT_EQ(player->width(), outerWidth());
  EXPECT_EQ(program.window.picture3Widget().geometry().bottom() + 1,
            program.window.banner().strip().geometry().top());
  EXPECT_EQ(program.window.banner().strip().geometry().bottom() + 1, w.height());
}

TEST(HostileInputs, ThroughDropAndDialogInOneWindow) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::vector<Case> cases = makeCases(folder.path());
  ASSERT_GT(cases.size(), 20u) << "make_cases.py failed";

  auto program = std::make_unique<RealProgram>();
  program->form.Show();
  QWidget& w = program->window.widget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  ASSERT_EQ(movieFiles().size(), 1);

  StallWatch stalls;
  int n = 0;
  for (const Case& c : cases) {
    for (const bool byDialog : {false, true}) {
      // Qt's own dialog reads quotes in its name field as a list of names, so
      // such a name opens through a drop or the command line only.
      if (byDialog && c.name.contains('"')) continue;
      SCOPED_TRACE((byDialog ? "dialog: " : "drop: ") + c.name.toStdString());
      QPointer<QWidget> before = program->controls.widgetOf("flashplayer");
      if (byDialog) {
        openThroughDialog(*program, c.path);
      } else {
        drop(w, c.path);
      }
      if (c.name == "folder.flv" && byDialog) {
        // The dialog opens a folder rather than choosing it: nothing opened.
        EXPECT_EQ(program->controls.widgetOf("flashplayer"), before.data());
      } else {
        // The old player may linger until its deferred deletion.
        EXPECT_TRUE(before.isNull() || program->controls.widgetOf("flashplayer") != before.data())
            << "the video was not opened";
        settle(*program, c);
      }
      EXPECT_EQ(livePlayers(), 1);
      ++n;
      expectLaidOut(*program, QSize(400 + 10 * (n % 7), 420 + 10 * (n % 5)));
      EXPECT_EQ(movieFiles().size(), 1);
    }
  }
  // Generous: far above any layout or load, far below a blocking read.
  EXPECT_LT(stalls.longestMs(), 2500) << "the window stopped answering for a while";
  std::cout << "[ info     ] " << n << " openings; longest stall of the event loop "
            << stalls.longestMs() << " ms\n";

  w.close();  // the unload removes the temporary movie
  EXPECT_TRUE(movieFiles().isEmpty()) << movieFiles().join(' ').toStdString();
  program.reset();
  EXPECT_EQ(livePlayers(), 0);
}

// A name that is not UTF-8 (Latin-1, from an old archive) plays when dropped
// as a file manager sends it, and when chosen in the dialog, which shows it
// as Qt decodes it.
TEST(HostileInputs, NameThatIsNotUtf8Plays) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QByteArray name = QFile::encodeName(folder.path()) + "/caf\xe9.flv";
  ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                         "testsrc=size=160x120:rate=15:duration=20", "-c:v", "flv1",
                                         "-f", "flv", folder.path() + "/clip"}),
            0);
  ASSERT_EQ(std::rename(QFile::encodeName(folder.path() + "/clip").constData(), name.constData()),
            0);
  // QTemporaryDir cannot remove a name that is not UTF-8.
  const std::unique_ptr<const char, int (*)(const char*)> removal(name.constData(), std::remove);

  auto program = std::make_unique<RealProgram>();
  program->form.Show();
  QWidget& w = program->window.widget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const auto playsAnew = [&](QWidget* before) {
    return waitFor(
        [&] {
          auto* p = program->currentPlayer();
          return p && p != before && p->displayedTime() != "00:00" && !p->isShown(Part::Message);
        },
        20000);
  };

  QMimeData mime;  // as a file manager sends it
  mime.setData("text/uri-list", "file://" + name.toPercentEncoding("/") + "\r\n");
  QPointer<QWidget> before = program->controls.widgetOf("flashplayer");
  drop(w, mime);
  EXPECT_TRUE(playsAnew(before)) << "dropped";

  before = program->controls.widgetOf("flashplayer");
  openThroughDialog(*program, QFile::decodeName(name));
  EXPECT_TRUE(playsAnew(before)) << "chosen in the dialog";
  w.close();
}

}  // namespace
}  // namespace quillet::hostile
