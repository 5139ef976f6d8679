#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/qt/window/QtMessageBox.h"

namespace quillet::guitest {
namespace {

// Answers the box once it is up, after noting how it looks.
struct Looks {
  bool found = false, critical = false, modal = false, noParent = false, yesDefault = false;
  QString title, text;
  QMessageBox::StandardButtons buttons;
};

Answer askAndPress(QMessageBox::StandardButton press, Looks& seen) {
  QTimer::singleShot(50, [&seen, press] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box || !box->isVisible()) continue;
      seen.found = true;
      seen.critical = box->icon() == QMessageBox::Critical;
      seen.modal = box->windowModality() == Qt::ApplicationModal;
      seen.noParent = box->parentWidget() == nullptr;
      seen.yesDefault = box->defaultButton() == box->button(QMessageBox::Yes);
      seen.title = box->windowTitle();
      seen.text = box->text();
      seen.buttons = box->standardButtons();
      if (press == QMessageBox::Escape)
        box->reject();
      else
        box->button(press)->click();
    }
  });
  return qt::QtMessageBox().askYesNoStop("Do you want to download it now?", "Quillet");
}

TEST(MessageBox, YesNoStopWithYesAsDefault) {
  Looks seen;
  EXPECT_EQ(askAndPress(QMessageBox::Yes, seen), Answer::Yes);
  ASSERT_TRUE(seen.found);
  EXPECT_TRUE(seen.critical);
  EXPECT_TRUE(seen.modal);
  EXPECT_TRUE(seen.noParent);
  EXPECT_TRUE(seen.yesDefault);
  EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(seen.title, "Quillet");
  EXPECT_EQ(seen.text, "Do you want to download it now?");
}

TEST(MessageBox, NoAndClosingBothAnswerNo) {
  Looks seen;
  EXPECT_EQ(askAndPress(QMessageBox::No, seen), Answer::No);
  EXPECT_TRUE(seen.found);
  Looks closed;
  EXPECT_EQ(askAndPress(QMessageBox::Escape, closed), Answer::No);
  EXPECT_TRUE(closed.found);
}

}  // namespace
}  // namespace quillet::guitest
