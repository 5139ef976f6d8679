#pragma once
// The trace of the logic's steps. Most failures are skipped so that the next
// step can run; the trace is where each step says that it ran, or that it
// was skipped and why, so a failure in the field can be found afterwards.

#include <string_view>

#include "platform/Status.h"

namespace quillet {

// Which part of the program a step belongs to.
enum class TraceArea { Startup, Load, Window, Playback, Shell };

class Trace {
 public:
  virtual ~Trace() = default;
  virtual void ran(TraceArea area, std::string_view step) = 0;
  virtual void skipped(TraceArea area, std::string_view step, std::string_view why) = 0;
};

// One area's share of the trace, so that each step names only itself.
class AreaTrace {
 public:
  AreaTrace(Trace& trace, TraceArea area) : trace(trace), area(area) {}
  void ran(std::string_view step) const { trace.ran(area, step); }
  void skipped(std::string_view step, std::string_view why) const {
    trace.skipped(area, step, why);
  }

 private:
  Trace& trace;
  TraceArea area;
};

// A step whose failure is deliberately ignored: the sequence goes on with
// its next step, and the trace is told which step it was and why it failed.
inline void skipOnFailure(const AreaTrace& trace, std::string_view step, const Status& status) {
  if (status)
    trace.ran(step);
  else
    trace.skipped(step, status.why());
}

// A step that needs a value worked out first: without one (a size the
// window cannot tell, a result that does not fit) it is skipped as well.
template <class T, class Apply>
void skipOnFailure(const AreaTrace& trace, std::string_view step, const Maybe<T>& value,
                   Apply&& apply) {
  if (!value)
    trace.skipped(step, "its value is unknown or out of range");
  else
    skipOnFailure(trace, step, apply(*value));
}

}  // namespace quillet
