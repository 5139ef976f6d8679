#include "player/movie/MovieSettings.h"

#include <algorithm>
#include <cmath>

namespace quillet::player {

namespace {

std::optional<double> parseNumber(const std::optional<QString>& text) {
  bool ok = false;
  const double v = text ? text->trimmed().toDouble(&ok) : 0;
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

int parseVolume(const std::optional<QString>& text) {
  const auto v = parseNumber(text);
  return v ? static_cast<int>(std::lround(std::clamp(*v, 0.0, 100.0))) : kDefaultVolume;
}

}  // namespace

std::optional<QColor> hexColour(QStringView text) {
  QStringView digits = text.trimmed();
  if (digits.startsWith(u'#')) {
    digits = digits.sliced(1);
  } else if (digits.startsWith(u"0x", Qt::CaseInsensitive)) {
    digits = digits.sliced(2);
  }
  if (digits.isEmpty() || digits.size() > 6) return std::nullopt;
  QRgb rgb = 0;
  for (const QChar c : digits) {
    const int v = QChar::isDigit(c.unicode()) ? c.unicode() - u'0'
                  : (c >= u'a' && c <= u'f')  ? c.unicode() - u'a' + 10
                  : (c >= u'A' && c <= u'F')  ? c.unicode() - u'A' + 10
                                              : -1;
    if (v < 0) return std::nullopt;
    rgb = (rgb << 4) | static_cast<QRgb>(v);
  }
  return QColor::fromRgb(rgb);
}

MovieSettings MovieSettings::read(const FlashVars& vars) {
  MovieSettings m;
  m.screenButtons = vars.text(QStringLiteral("fullscreen")) != QLatin1String("false");
  m.shadow = vars.text(QStringLiteral("effect")) != QLatin1String("false");
  m.front = hexColour(vars.text(QStringLiteral("frontcolor"))).value_or(QColor(Qt::white));
  m.back = hexColour(vars.text(QStringLiteral("backcolor"))).value_or(QColor(Qt::black));
  if (const auto seconds = parseNumber(vars.value(QStringLiteral("NumVideoDuracion")));
      seconds && *seconds > 0)
    m.durationOverride = seconds;
  if (auto name = vars.value(QStringLiteral("vseek")); name && !name->isEmpty()) m.vseek = *name;
  m.volume = parseVolume(vars.value(QStringLiteral("volumen")));
  m.autoplay = vars.text(QStringLiteral("autoplay")) == QLatin1String("true");

  // "xml" stands for a playlist set-up of its own: the usual start-up
  // handling of jpg, autoplay and flv is skipped.
  if (vars.contains(QStringLiteral("xml"))) return m;
  m.previewAddress = vars.text(QStringLiteral("jpg"));
  const QString mp3 = vars.text(QStringLiteral("mp3"));
  if (!mp3.isEmpty()) {
    m.source = mp3;
    m.audioOnly = true;
    m.wantsStream = true;
  } else if (vars.contains(QStringLiteral("flv")) || vars.contains(QStringLiteral("mp3"))) {
    m.source = vars.text(QStringLiteral("flv"));
    m.wantsStream = true;
  }
  return m;
}

}  // namespace quillet::player
