#include "platform/qt/system/QtTrace.h"

namespace quillet::qt {
namespace {

// Warnings and above only, so that debug (ran) and info (skipped) stay
// silent until the logging rules ask for them.
Q_LOGGING_CATEGORY(startupTrace, "quillet.startup", QtWarningMsg)
Q_LOGGING_CATEGORY(loadTrace, "quillet.load", QtWarningMsg)
Q_LOGGING_CATEGORY(windowTrace, "quillet.window", QtWarningMsg)
Q_LOGGING_CATEGORY(playbackTrace, "quillet.playback", QtWarningMsg)
Q_LOGGING_CATEGORY(shellTrace, "quillet.shell", QtWarningMsg)

QString text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

const QLoggingCategory& traceCategory(TraceArea area) {
  switch (area) {
    case TraceArea::Startup:
      return startupTrace();
    case TraceArea::Load:
      return loadTrace();
    case TraceArea::Window:
      return windowTrace();
    case TraceArea::Playback:
      return playbackTrace();
    case TraceArea::Shell:
      break;
  }
  return shellTrace();
}

void QtTrace::ran(TraceArea area, std::string_view step) {
  qCDebug(traceCategory(area)).noquote() << text(step);
}

void QtTrace::skipped(TraceArea area, std::string_view step, std::string_view why) {
  qCInfo(traceCategory(area)).noquote() << text(step) << "skipped:" << text(why);
}

}  // namespace quillet::qt
