#pragma once
// The parameters a movie receives: "name=value" pairs joined by "&", as a
// browser plug-in reads them. Names are case-sensitive; values (and names)
// are percent-decoded as UTF-8, a "+" stays a "+", and an escape that is not
// "%" followed by two hexadecimal digits is kept as it stands. A decoded byte
// that is no part of a UTF-8 character (a file name from an old archive) is
// kept as the lone surrogate U+DC00 + byte, so that bytesOf() gives the
// exact bytes back.

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringView>
#include <optional>

namespace quillet::player {

class FlashVars {
 public:
  static FlashVars parse(QStringView text);

  bool contains(const QString& name) const { return values_.contains(name); }
  // The decoded value, or nullopt when the name is absent.
  std::optional<QString> value(const QString& name) const;
  // The decoded value, or an empty text when the name is absent.
  QString text(const QString& name) const { return values_.value(name); }
  qsizetype size() const { return values_.size(); }

 private:
  QHash<QString, QString> values_;
};

// Percent-decodes a text: "%hh" becomes the byte hh, the bytes are read as
// UTF-8 (see textOf), anything else is kept.
QString percentDecode(QStringView text);

// Bytes as text: UTF-8, with every byte that is no part of a UTF-8 character
// as U+DC00 + byte. bytesOf is its inverse: such a lone surrogate becomes
// its byte again, everything else UTF-8.
QString textOf(QByteArrayView bytes);
QByteArray bytesOf(QStringView text);

// What a video's address names (FlashVars' flv value, a command line's or a
// drop's path): an http(s) stream, or a local file.
bool isHttpAddress(const QString& address);

// Anything that is not http(s) is a local file: a file: address (see
// pathOfFileAddress in FileAddress.h) or a path. It is handed to libmpv as an
// absolute path so that text which looks like one of
// libmpv's own protocols (lavfi://, av://, edl://...) is never obeyed. Empty
// when the current folder cannot be told.
QString localFilePath(const QString& address);

// Only regular files are opened: a directory, a pipe or a device is no
// video, and a pipe with no writer would block whoever opens it.
bool isRegularFile(const QString& path);

}  // namespace quillet::player
