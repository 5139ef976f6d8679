#include "platform/qt/window/QtMessageBox.h"

#include <QMessageBox>

namespace quillet::qt {

Answer QtMessageBox::askYesNoStop(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(title),
                  QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  box.setWindowModality(Qt::ApplicationModal);
  return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

}  // namespace quillet::qt
