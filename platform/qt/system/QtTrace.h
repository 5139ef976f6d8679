#pragma once
// The trace as Qt logging categories, one per area: quillet.startup,
// quillet.load, quillet.window, quillet.playback and quillet.shell. They are
// silent by default; QT_LOGGING_RULES="quillet.*=true" shows every step,
// "quillet.*.info=true" only the skipped ones.

#include <QLoggingCategory>

#include "platform/Trace.h"

namespace quillet::qt {

class QtTrace : public Trace {
 public:
  // A step that ran, at debug level.
  void ran(TraceArea area, std::string_view step) override;
  // A step that was skipped, with its reason, at info level.
  void skipped(TraceArea area, std::string_view step, std::string_view why) override;
};

}  // namespace quillet::qt
