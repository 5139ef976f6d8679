#pragma once
// The path a file: address names, the one decoding of such addresses for the
// player's movies and the platform's dropped files alike; inline, with Qt
// Core only, so that the platform needs nothing else of the player.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace quillet::player {

// "%hh" becomes the byte hh; an escape that is not "%" and two hexadecimal
// digits stands for itself.
inline QByteArray percentDecodedBytes(QByteArrayView in) {
  const auto hex = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  QByteArray out;
  out.reserve(in.size());
  for (qsizetype i = 0; i < in.size(); ++i) {
    if (in[i] == '%' && i + 2 < in.size() && hex(in[i + 1]) >= 0 && hex(in[i + 2]) >= 0) {
      out.append(static_cast<char>(hex(in[i + 1]) * 16 + hex(in[i + 2])));
      i += 2;
    } else {
      out.append(in[i]);
    }
  }
  return out;
}

// The bytes the escapes of file:/x, file:///x or file://host/x spell (a name
// need not be UTF-8), where the host is "localhost" or `localHost`, in any
// case; a query or fragment is no part of the name. nullopt for any other
// address, another machine's file, a relative path and an encoded NUL.
inline std::optional<QByteArray> pathOfFileAddress(QByteArrayView address,
                                                   QByteArrayView localHost) {
  if (address.size() < 5 || address.first(5).compare("file:", Qt::CaseInsensitive) != 0)
    return std::nullopt;
  QByteArrayView rest = address.sliced(5);
  for (const char end : {'?', '#'})
    if (const qsizetype at = rest.indexOf(end); at >= 0) rest = rest.first(at);
  if (rest.startsWith("//")) {
    rest = rest.sliced(2);
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0) return std::nullopt;
    const QByteArrayView host = rest.first(slash);
    if (!host.isEmpty() && host.compare("localhost", Qt::CaseInsensitive) != 0 &&
        (localHost.isEmpty() || host.compare(localHost, Qt::CaseInsensitive) != 0))
      return std::nullopt;
    rest = rest.sliced(slash);
  }
  if (!rest.startsWith('/')) return std::nullopt;
  QByteArray path = percentDecodedBytes(rest);
  if (path.contains('\0')) return std::nullopt;
  return path;
}

}  // namespace quillet::player
