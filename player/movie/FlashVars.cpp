#include "player/movie/FlashVars.h"

#include <QByteArray>
#include <QDir>
#include <QStringDecoder>
#include <QSysInfo>
#include <filesystem>

namespace quillet::player {

namespace {

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The length of the UTF-8 character that starts at bytes[at], or 0 when the
// byte there starts none (a stray, overlong or surrogate sequence).
qsizetype utf8Length(QByteArrayView bytes, qsizetype at) {
  const auto byte = [&](qsizetype i) -> unsigned {
    return at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u;
  };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  qsizetype length = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  else
    return 0;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (byte(1) < low || byte(1) > high) return 0;
  for (qsizetype i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

constexpr char16_t kByteBase = 0xDC00;

// UTF-8 as it stands: QString::fromUtf8 would drop a leading byte-order mark,
// which in a file name is part of the name.
QString fromUtf8(QByteArrayView bytes) {
  QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
  return decode(bytes);
}

}  // namespace

QString textOf(QByteArrayView bytes) {
  QString text;
  text.reserve(bytes.size());
  qsizetype run = 0;  // where the current stretch of UTF-8 began
  for (qsizetype at = 0; at < bytes.size();) {
    const qsizetype length = utf8Length(bytes, at);
    if (length > 0) {
      at += length;
      continue;
    }
    text += fromUtf8(bytes.sliced(run, at - run));
    text += QChar(kByteBase + static_cast<unsigned char>(bytes[at]));
    run = ++at;
  }
  text += fromUtf8(bytes.sliced(run));
  return text;
}

QByteArray bytesOf(QStringView text) {
  QByteArray bytes;
  bytes.reserve(text.size());
  qsizetype run = 0;
  for (qsizetype at = 0; at < text.size(); ++at) {
    const char16_t c = text[at].unicode();
    const bool pair = QChar::isHighSurrogate(c) && at + 1 < text.size() &&
                      QChar::isLowSurrogate(text[at + 1].unicode());
    if (pair) {
      ++at;
      continue;
    }
    if (c < kByteBase + 0x80 || c > kByteBase + 0xFF) continue;
    bytes += text.sliced(run, at - run).toUtf8();
    bytes += static_cast<char>(c - kByteBase);
    run = at + 1;
  }
  bytes += text.sliced(run).toUtf8();
  return bytes;
}

QString percentDecode(QStringView text) {
  if (!text.contains(u'%')) return text.toString();
  // Work on the bytes so that escaped multi-byte sequences and literal
  // characters combine into one text.
  const QByteArray in = bytesOf(text);
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
  return textOf(out);
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

bool isHttpAddress(const QString& address) {
  return address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
         address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

namespace {

// The bytes a file: address's escapes spell (a name need not be UTF-8, and
// QUrl would turn such bytes into U+FFFD); empty for another machine's file,
// a relative path or an encoded NUL. A query or fragment is no part of the
// name.
QString pathOfFileAddress(QStringView address) {
  QStringView rest = address.sliced(5);  // after "file:"
  for (const char16_t end : {u'?', u'#'})
    if (const qsizetype at = rest.indexOf(end); at >= 0) rest = rest.first(at);
  if (rest.startsWith(u"//")) {
    rest = rest.sliced(2);
    const qsizetype slash = rest.indexOf(u'/');
    if (slash < 0) return {};
    const QStringView host = rest.first(slash);
    if (!host.isEmpty() && host.compare(u"localhost", Qt::CaseInsensitive) != 0 &&
        host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0)
      return {};
    rest = rest.sliced(slash);
  }
  if (!rest.startsWith(u'/')) return {};
  QString path = percentDecode(rest);
  return path.contains(QChar(0)) ? QString() : path;
}

}  // namespace

QString localFilePath(const QString& address) {
  QString path = address;
  if (address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
    path = pathOfFileAddress(address);
  if (path.isEmpty() || QDir::isAbsolutePath(path)) return path;
  // The text may carry bytes that are not UTF-8 (see bytesOf), so it is made
  // absolute as text, not through QFileInfo, which would change them.
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  if (error) return QString();
  return textOf(QByteArrayView(here.c_str())) + u'/' + path;
}

bool isRegularFile(const QString& path) {
  std::error_code error;
  return !path.isEmpty() && std::filesystem::is_regular_file(bytesOf(path).toStdString(), error);
}

}  // namespace quillet::player
