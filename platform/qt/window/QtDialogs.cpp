#include "platform/qt/window/QtDialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QWidget>
#include <filesystem>
#include <system_error>

#include "platform/qt/system/Translations.h"

namespace quillet::qt {

namespace {

// "*.*" means every file on the system these requests come from; on Linux a
// name needs no dot, so the dialog is given "*" for it.
bool matchesEverything(const std::string& pattern) {
  return pattern == "*.*" || pattern == "*";
}

// Qt reads a filter's patterns from the parentheses at the end of its text.
QString qtFilter(const std::string& display, const std::string& pattern) {
  const QString text = translated(kOpenDialogContext, display);
  const QString patterns = QString::fromStdString(pattern).replace(';', ' ');
  if (text.endsWith("(" + patterns + ")")) return text;
  return text + " (" + patterns + ")";
}

// The one entry of the folder whose name Qt shows as shown, or nullopt when
// none or several do.
std::optional<std::string> entryShownAs(const std::string& folder, const QString& shown) {
  std::error_code error;
  std::optional<std::string> found;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().native();
    if (QFile::decodeName(QByteArray::fromStdString(name)) != shown) continue;
    if (found) return std::nullopt;
    found = name;
  }
  return found;
}

// The chosen path as the file system's bytes. Every chooser hands its answer
// over as text, in which the bytes of a name that is not UTF-8 have become
// U+FFFD; such a part of the path is looked up again among its folder's
// entries. A name that stays ambiguous is left as it reads, and opens nothing.
std::string fileSystemPath(const QString& path) {
  const QByteArray encoded = QFile::encodeName(path);
  std::error_code error;
  if (!path.contains(QChar::ReplacementCharacter) ||
      std::filesystem::exists(std::filesystem::symlink_status(encoded.toStdString(), error)))
    return encoded.toStdString();
  std::string bytes;
  const QStringList parts = path.split(u'/');
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (i > 0) bytes += '/';
    std::string name = QFile::encodeName(parts[i]).toStdString();
    if (parts[i].contains(QChar::ReplacementCharacter) &&
        !std::filesystem::exists(std::filesystem::symlink_status(bytes + name, error))) {
      if (auto real = entryShownAs(bytes.empty() ? "." : bytes, parts[i])) name = *real;
    }
    bytes += name;
  }
  return bytes;
}

}  // namespace

// The desktop's own chooser where Qt's platform theme offers one (GTK, KDE,
// the desktop portal), else Qt's own dialog. There is no limit on the path's
// length; Qt's own dialog also takes a typed name that does not exist.
std::optional<std::string> QtDialogs::getOpenFileName(const OpenFileRequest& request) {
  QWidget* owner = request.owner ? QWidget::find(static_cast<WId>(request.owner)) : nullptr;
  QFileDialog dialog(owner, translated(kOpenDialogContext, request.title),
                     QFile::decodeName(QByteArray::fromStdString(request.initialDir)));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
  dialog.setWindowModality(Qt::ApplicationModal);
  // Qt builds its own dialog's widgets at once, and only when the platform
  // has no chooser to show instead.
  auto* ownModel = dialog.findChild<QFileSystemModel*>("qt_filesystem_model");

  QStringList filters;
  QStringList everything;  // the filters that stand for every file
  for (const auto& [display, pattern] : request.filters) {
    // A desktop's chooser takes "*.*" literally; Qt's own dialog is told
    // below, so that its list of types still reads as requested.
    const bool all = matchesEverything(pattern);
    filters << qtFilter(display, all && !ownModel ? "*" : pattern);
    if (all) everything << filters.back();
  }
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = request.filterIndex - 1;
    if (index >= 0 && index < filters.size()) dialog.selectNameFilter(filters[index]);
  }
  // The dialog applies a chosen filter's own patterns first; this comes after.
  if (ownModel) {
    auto showEverything = [ownModel, everything](const QString& filter) {
      if (everything.contains(filter)) ownModel->setNameFilters({"*"});
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, ownModel, showEverything);
    showEverything(dialog.selectedNameFilter());
  }

  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  return fileSystemPath(chosen.first());
}

}  // namespace quillet::qt
