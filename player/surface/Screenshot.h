#pragma once
// Where a screenshot goes and what it is called: the desktop's Pictures
// folder, "<video's base name> MM-SS.mmm.png", never over an existing file.
// Names are the file system's bytes, so that a video whose name is not
// UTF-8 gives a screenshot of the same name.

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillet::player {

// The video's file name without its extension, from a path, a file: URL or
// an http(s) address; "video" when it has none.
QByteArray videoBaseName(const QString& source);

// "clip 01-23.456.png" for 83.456 seconds into "clip"; minutes go past 59.
// A long video name is shortened (on a UTF-8 character's boundary) so that
// the name, and a " (n)" added to it, fit a file name's 255 bytes.
QByteArray screenshotName(const QByteArray& baseName, double seconds);

// The desktop's Pictures folder (xdg-user-dirs), or the home folder when
// there is none.
QByteArray picturesFolder();

// Writes data as a new file in folder, named name or, when that is taken,
// "<name without .png> (2).png" and so on. The name used, or nullopt with
// the reason in why; a file that could not be written whole is removed.
std::optional<QByteArray> writeNewFile(const QByteArray& folder, const QByteArray& name,
                                       const QByteArray& data, QString* why);

}  // namespace quillet::player
