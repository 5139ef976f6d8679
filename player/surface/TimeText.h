#pragma once
// The control bar's time display: whole minutes and remaining seconds, each
// with a leading zero below 10, joined by ":".

#include <QString>

namespace quillet::player {

// The total is rounded to whole seconds before it is split, so 59.6 s reads
// "01:00". Negative, NaN or infinite positions read "00:00".
QString timeText(double seconds);

// The same time as a screen reader reads it: minutes without a leading zero
// and hours when there are any ("1:23", "1:02:03"); the same rounding.
QString spokenTimeText(double seconds);

}  // namespace quillet::player
