#include "platform/qt/QtDialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QWidget>

namespace quillet::qt {

namespace {

// "*.*" means every file on the system these requests come from; on Linux a
// name needs no dot, so the dialog is given "*" for it.
bool matchesEverything(const std::string& pattern) {
  return pattern == "*.*" || pattern == "*";
}

// Qt reads a filter's patterns from the parentheses at the end of its text.
QString qtFilter(const std::string& display, const std::string& pattern) {
  const QString text = QString::fromStdString(display);
  const QString patterns = QString::fromStdString(pattern).replace(';', ' ');
  if (text.endsWith("(" + patterns + ")")) return text;
  return text + " (" + patterns + ")";
}

}  // namespace

// Qt's own dialog (never the desktop's) so that it behaves the same
// everywhere and can be driven in tests. A typed name need not exist, and
// there is no limit on the path's length.
std::optional<std::string> QtDialogs::getOpenFileName(const OpenFileRequest& request) {
  QWidget* owner = request.owner ? QWidget::find(static_cast<WId>(request.owner)) : nullptr;
  QFileDialog dialog(owner, QString::fromStdString(request.title),
                     QString::fromStdString(request.initialDir));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
  dialog.setWindowModality(Qt::ApplicationModal);

  QStringList filters;
  QStringList everything;  // the filters that stand for every file
  for (const auto& [display, pattern] : request.filters) {
    filters << qtFilter(display, pattern);
    if (matchesEverything(pattern)) everything << filters.back();
  }
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = request.filterIndex - 1;
    if (index >= 0 && index < filters.size()) dialog.selectNameFilter(filters[index]);
  }
  // The dialog applies a chosen filter's own patterns first; this comes after.
  if (auto* model = dialog.findChild<QFileSystemModel*>("qt_filesystem_model")) {
    auto showEverything = [model, everything](const QString& filter) {
      if (everything.contains(filter)) model->setNameFilters({"*"});
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, model, showEverything);
    showEverything(dialog.selectedNameFilter());
  }

  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  return QFile::encodeName(chosen.first()).toStdString();
}

}  // namespace quillet::qt
