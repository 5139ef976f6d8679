// FlashVars parsing and percent-decoding: any text as a FlashVars string.
#include <QByteArray>
#include <QString>
#include <QUrl>
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzCheck.h"
#include "player/movie/FlashVars.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const auto vars = quillet::player::FlashVars::parse(text);
  FUZZ_CHECK(vars.size() <= text.count(u'&') + 1);
  for (const char* key : {"flv", "autoplay", "vseek", "NumVideoDuracion", "jpg"}) {
    const QString name = QString::fromLatin1(key);
    FUZZ_CHECK(vars.contains(name) == vars.value(name).has_value());
  }

  // Whatever a host encodes comes back as it was: the text itself as a value.
  const QByteArray encoded = QUrl::toPercentEncoding(text);
  const auto round = quillet::player::FlashVars::parse(
      QStringLiteral("flv=") + QString::fromLatin1(encoded) + QStringLiteral("&x=1"));
  FUZZ_CHECK(round.text(QStringLiteral("flv")) == text);
  FUZZ_CHECK(round.text(QStringLiteral("x")) == QStringLiteral("1"));
  // A text without escapes decodes to itself.
  if (!text.contains(u'%')) FUZZ_CHECK(quillet::player::percentDecode(text) == text);
  return 0;
}
