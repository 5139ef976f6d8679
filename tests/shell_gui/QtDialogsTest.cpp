// Qt's own open dialog, driven as a user would: type a name, press Return.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

#include "platform/qt/window/QtDialogs.h"

namespace quillet {
namespace {

// Runs act on the dialog once it is up, from inside its modal loop.
void whenDialogShows(std::function<void(QFileDialog&)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(*dialog);
    }
  });
  poll->start(20);
}

void typeAndAccept(QFileDialog& dialog, const QString& text) {
  auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
  ASSERT_TRUE(edit);
  edit->setText(text);
  QTest::keyClick(edit, Qt::Key_Return);
}

class QtOpenDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    owner.resize(300, 200);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    request.owner = static_cast<WindowHandle>(owner.winId());
    request.title = "Select file to open";
    request.filters = {{"Flash video files (*.flv)", "*.flv"}, {"All Files (*.*)", "*.*"}};
    request.filterIndex = 1;
    request.initialDir = dir.path().toStdString();
  }
  QString touch(const QString& relative) {
    QDir().mkpath(QFileInfo(dir.path() + "/" + relative).absolutePath());
    QFile f(dir.path() + "/" + relative);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    return f.fileName();
  }

  QTemporaryDir dir;
  QWidget owner;
  OpenFileRequest request;
  qt::QtDialogs dialogs;
};

TEST_F(QtOpenDialog, SetUpFromTheRequestAndChoosingAFile) {
  const QString clip = touch("clip.flv");
  struct Seen {
    QString title, directory, selectedFilter;
    QStringList filters;
    QWidget* parent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
  } seen;
  whenDialogShows([&](QFileDialog& d) {
    seen = {d.windowTitle(),        d.directory().absolutePath(),
            d.selectedNameFilter(), d.nameFilters(),
            d.parentWidget(),       d.windowModality()};
    typeAndAccept(d, "clip.flv");
  });
  auto chosen = dialogs.getOpenFileName(request);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, clip.toStdString());
  EXPECT_EQ(seen.title, "Select file to open");
  EXPECT_EQ(seen.directory, QDir(dir.path()).absolutePath());
  EXPECT_EQ(seen.filters, (QStringList{"Flash video files (*.flv)", "All Files (*.*)"}));
  EXPECT_EQ(seen.selectedFilter, "Flash video files (*.flv)");
  EXPECT_EQ(seen.parent, &owner);
  EXPECT_NE(seen.modality, Qt::NonModal);
}

TEST_F(QtOpenDialog, EscapeCancels) {
  whenDialogShows([](QFileDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
  EXPECT_EQ(dialogs.getOpenFileName(request), std::nullopt);
}

// A typed name need not exist, and a long path comes back whole.
TEST_F(QtOpenDialog, TypedAndLongPaths) {
  whenDialogShows([](QFileDialog& d) { typeAndAccept(d, "missing clip.flv"); });
  EXPECT_EQ(dialogs.getOpenFileName(request), dir.path().toStdString() + "/missing clip.flv");

  const QString deep = touch(QString(120, 'a') + "/" + QString(120, 'b') + "/clip.flv");
  ASSERT_GT(deep.size(), 256);
  whenDialogShows([&](QFileDialog& d) { typeAndAccept(d, deep); });
  EXPECT_EQ(dialogs.getOpenFileName(request), deep.toStdString());
}

// A name that is not UTF-8 shows with U+FFFD in its place; chosen, it comes
// back as the file system's bytes.
TEST_F(QtOpenDialog, NameThatIsNotUtf8ComesBackAsItsBytes) {
  const QByteArray latin = QFile::encodeName(dir.path()) + "/caf\xe9.flv";
  ASSERT_TRUE(std::ofstream(latin.toStdString()));
  // QTemporaryDir cannot remove a name that is not UTF-8.
  const std::unique_ptr<const char, int (*)(const char*)> removal(latin.constData(), std::remove);
  whenDialogShows([](QFileDialog& d) { typeAndAccept(d, QStringLiteral("caf\uFFFD.flv")); });
  EXPECT_EQ(dialogs.getOpenFileName(request), latin.toStdString());
}

// "All Files (*.*)" lists names without a dot as well.
TEST_F(QtOpenDialog, AllFilesMeansEveryFile) {
  touch("clip.flv");
  touch("README");
  QStringList filtersSeen;
  whenDialogShows([&](QFileDialog& d) {
    auto* combo = d.findChild<QComboBox*>("fileTypeCombo");
    auto* model = d.findChild<QFileSystemModel*>("qt_filesystem_model");
    if (combo && model) {
      combo->setCurrentIndex(1);
      emit combo->activated(1);
      emit combo->textActivated(combo->currentText());
      filtersSeen = model->nameFilters();
    }
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  EXPECT_EQ(dialogs.getOpenFileName(request), std::nullopt);
  EXPECT_EQ(filtersSeen, QStringList{"*"});
}

}  // namespace
}  // namespace quillet
