#pragma once
// Conversions of the window's arithmetic. A result that does not fit is
// nullopt, so the step that needs it is skipped rather than given garbage.

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/Status.h"

namespace quillet {

// The nearest whole number as a signed 32-bit integer.
inline Maybe<std::int32_t> roundToInt32(Maybe<double> v) {
  if (!v || !std::isfinite(*v)) return std::nullopt;
  double r = std::round(*v);
  if (r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(r);
}

// The value as a single-precision real.
inline Maybe<float> toSingle(Maybe<double> v) {
  if (!v || !std::isfinite(*v) || std::fabs(*v) > std::numeric_limits<float>::max())
    return std::nullopt;
  return static_cast<float>(*v);
}

}  // namespace quillet
