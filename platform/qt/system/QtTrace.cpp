#include "platform/qt/system/QtTrace.h"

namespace quillet::qt {
namespace {

QString text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

const QLoggingCategory& traceCategory(TraceArea area) {
  // In the order of TraceArea. Warnings and above only, so that debug (ran)
  // and info (skipped) stay silent until the logging rules ask for them.
  static const QLoggingCategory categories[] = {
      QLoggingCategory("quillet.startup", QtWarningMsg),
      QLoggingCategory("quillet.load", QtWarningMsg),
      QLoggingCategory("quillet.window", QtWarningMsg),
      QLoggingCategory("quillet.playback", QtWarningMsg),
      QLoggingCategory("quillet.shell", QtWarningMsg),
  };
  return categories[static_cast<int>(area)];
}

}  // namespace

void QtTrace::ran(TraceArea area, std::string_view step) {
  qCDebug(traceCategory(area)).noquote() << text(step);
}

void QtTrace::skipped(TraceArea area, std::string_view step, std::string_view why) {
  qCInfo(traceCategory(area)).noquote() << text(step) << "skipped:" << text(why);
}

}  // namespace quillet::qt
