#pragma once
// A trace that keeps every step it is told of, apart from the journal of
// platform calls, so a test can ask which steps ran and which were skipped.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Trace.h"

namespace quillet::fakes {

class FakeTrace : public Trace {
 public:
  struct Step {
    TraceArea area;
    std::string step;
    bool ran;
    std::string why;  // empty for a step that ran
  };
  void ran(TraceArea area, std::string_view step) override {
    steps.push_back({area, std::string(step), true, {}});
  }
  void skipped(TraceArea area, std::string_view step, std::string_view why) override {
    steps.push_back({area, std::string(step), false, std::string(why)});
  }
  // "step: why" of every skipped step, in order.
  std::vector<std::string> skips() const {
    std::vector<std::string> out;
    for (const auto& s : steps)
      if (!s.ran) out.push_back(s.step + ": " + s.why);
    return out;
  }
  // The names of the steps that ran, in order.
  std::vector<std::string> ranSteps() const {
    std::vector<std::string> out;
    for (const auto& s : steps)
      if (s.ran) out.push_back(s.step);
    return out;
  }
  void clear() { steps.clear(); }

  std::vector<Step> steps;
};

}  // namespace quillet::fakes
