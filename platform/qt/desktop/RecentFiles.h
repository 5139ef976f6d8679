#pragma once
// The desktop's list of recently used files, $XDG_DATA_HOME/recently-used.xbel
// (the freedesktop Desktop Bookmark format), which the file choosers and
// file managers of GTK and KDE show under "Recent". An entry is added or
// brought up to date in place: every other byte of the file stays as it
// was, the file is replaced atomically, and a damaged file or one of
// another format is left alone.

#include <QByteArray>
#include <QString>

namespace quillet::qt {

class RecentFiles {
 public:
  struct Application {
    QString name;  // as the desktop shows it: "Quillet"
    QString exec;  // its command line for a file, "%u" for the file's URI
  };

  // The list at listPath (the desktop's own when empty).
  explicit RecentFiles(Application application, QString listPath = {});

  // Adds the local file path (the file system's bytes, relative to the
  // current folder or absolute) with its MIME type. False, and traced,
  // when it is no regular file or the list cannot be written.
  bool add(const QByteArray& path, const QString& mimeType);

  // The file: URI of a local path, escaped as GLib escapes it.
  static QByteArray fileUri(const QByteArray& absolutePath);

 private:
  Application app;
  QString listPath;
};

}  // namespace quillet::qt
