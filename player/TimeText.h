#pragma once
// The control bar's time display: whole minutes and remaining seconds, each
// with a leading zero below 10, joined by ":".

#include <QString>

namespace quillet::player {

// The total is rounded to whole seconds before it is split, so 59.6 s reads
// "01:00". Negative, NaN or infinite positions read "00:00".
QString timeText(double seconds);

}  // namespace quillet::player
