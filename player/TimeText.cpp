#include "player/TimeText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quillet::player {

QString timeText(double seconds) {
  // Far beyond any real stream, and keeps the conversion below defined.
  constexpr double kLongest = 1e9;
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  const auto total = static_cast<std::int64_t>(std::llround(std::min(seconds, kLongest)));
  const std::int64_t minutes = total / 60;
  const std::int64_t rest = total % 60;
  return QStringLiteral("%1:%2")
      .arg(minutes, 2, 10, QLatin1Char('0'))
      .arg(rest, 2, 10, QLatin1Char('0'));
}

}  // namespace quillet::player
