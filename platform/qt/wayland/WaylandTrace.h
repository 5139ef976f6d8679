#pragma once
// The trace of what the Wayland specifics did or skipped: quillet.wayland.

#include <QLoggingCategory>

namespace quillet::qt {

Q_DECLARE_LOGGING_CATEGORY(waylandTrace)

}  // namespace quillet::qt
