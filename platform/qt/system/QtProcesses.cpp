#include "platform/qt/system/QtProcesses.h"

#include <QDesktopServices>
#include <QUrl>

namespace quillet::qt {

Status QtProcesses::openUrl(const std::string& address) {
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  if (!url.isValid() || url.scheme().isEmpty()) return Status::failed("not an address");
  return QDesktopServices::openUrl(url) ? Status::ok() : Status::failed("no URL handler");
}

std::string QtProcesses::argumentText() const {
  std::string text;
  for (const std::string& argument : arguments) {
    if (&argument != &arguments.front()) text += ' ';
    text += argument;
  }
  return text;
}

}  // namespace quillet::qt
