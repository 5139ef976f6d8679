#include "player/FlashVars.h"

#include <QByteArray>

namespace quillet::player {

namespace {

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

QString percentDecode(QStringView text) {
  if (!text.contains(u'%')) return text.toString();
  // Work on the UTF-8 bytes so that escaped multi-byte sequences and literal
  // characters combine into one text.
  const QByteArray in = text.toUtf8();
  QByteArray out;
  out.reserve(in.size());
  for (qsizetype i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '%' && i + 2 < in.size()) {
      const int hi = hexValue(static_cast<unsigned char>(in[i + 1]));
      const int lo = hexValue(static_cast<unsigned char>(in[i + 2]));
      if (hi >= 0 && lo >= 0) {
        out.append(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.append(c);
  }
  return QString::fromUtf8(out);
}

FlashVars FlashVars::parse(QStringView text) {
  FlashVars vars;
  for (const QStringView pair : text.split(u'&')) {
    if (pair.isEmpty()) continue;
    const qsizetype eq = pair.indexOf(u'=');
    const QStringView rawName = eq < 0 ? pair : pair.first(eq);
    const QStringView rawValue = eq < 0 ? QStringView{} : pair.sliced(eq + 1);
    QString name = percentDecode(rawName);
    if (name.isEmpty()) continue;
    // A later pair of the same name wins, as with variables set in order.
    vars.values_.insert(std::move(name), percentDecode(rawValue));
  }
  return vars;
}

std::optional<QString> FlashVars::value(const QString& name) const {
  const auto it = values_.constFind(name);
  if (it == values_.constEnd()) return std::nullopt;
  return *it;
}

}  // namespace quillet::player
