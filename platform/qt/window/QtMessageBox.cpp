#include "platform/qt/window/QtMessageBox.h"

#include <QMessageBox>

#include "platform/qt/system/Translations.h"

namespace quillet::qt {

Answer QtMessageBox::askYesNoStop(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::Critical, translated(kMessagesContext, title),
                  translated(kMessagesContext, text), QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  box.setWindowModality(Qt::ApplicationModal);
  return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

}  // namespace quillet::qt
