#pragma once
// The trace of what the Wayland specifics did or skipped (quillet.wayland),
// and what they share.

#include <QLoggingCategory>

namespace quillet::qt {

Q_DECLARE_LOGGING_CATEGORY(waylandTrace)

// Set, by the user or at start where the compositor draws the title bars,
// when Qt draws none.
inline constexpr const char* kNoDecorations = "QT_WAYLAND_DISABLE_WINDOWDECORATION";

}  // namespace quillet::qt
