#pragma once
// The parameters a movie receives: "name=value" pairs joined by "&", as a
// browser plug-in reads them. Names are case-sensitive; values (and names)
// are percent-decoded as UTF-8, a "+" stays a "+", and an escape that is not
// "%" followed by two hexadecimal digits is kept as it stands.

#include <QHash>
#include <QString>
#include <QStringView>
#include <optional>

namespace quillet::player {

class FlashVars {
 public:
  FlashVars() = default;
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
// UTF-8, anything else is kept.
QString percentDecode(QStringView text);

}  // namespace quillet::player
