#include "player/surface/TimeText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quillet::player {

namespace {

std::int64_t wholeSeconds(double seconds) {
  // Far beyond any real stream, and keeps the conversion below defined.
  constexpr double kLongest = 1e9;
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  return static_cast<std::int64_t>(std::llround(std::min(seconds, kLongest)));
}

}  // namespace

QString timeText(double seconds) {
  const std::int64_t total = wholeSeconds(seconds);
  const std::int64_t minutes = total / 60;
  const std::int64_t rest = total % 60;
  return QStringLiteral("%1:%2")
      .arg(minutes, 2, 10, QLatin1Char('0'))
      .arg(rest, 2, 10, QLatin1Char('0'));
}

QString spokenTimeText(double seconds) {
  const std::int64_t total = wholeSeconds(seconds);
  const std::int64_t hours = total / 3600, minutes = total / 60 % 60, rest = total % 60;
  const QString tail = QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
  if (hours == 0) return tail;
  return QStringLiteral("%1:%2").arg(hours).arg(tail.rightJustified(5, QLatin1Char('0')));
}

}  // namespace quillet::player
