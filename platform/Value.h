#pragma once
// A variant value as the control host passes it: the type a caller chose is
// kept, so a recorded call can be checked for its value type as well.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quillet {

using Value = std::variant<bool, std::int16_t, std::int32_t, float, double, std::string>;
using Values = std::vector<Value>;

// The value as a real number, or nullopt for a string or a Boolean.
inline std::optional<double> asNumber(const Value& v) {
  if (auto* p = std::get_if<std::int16_t>(&v)) return *p;
  if (auto* p = std::get_if<std::int32_t>(&v)) return *p;
  if (auto* p = std::get_if<float>(&v)) return *p;
  if (auto* p = std::get_if<double>(&v)) return *p;
  return std::nullopt;
}

// The value as text, the way an event parameter is read.
inline std::string asText(const Value& v) {
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
  if (auto n = asNumber(v)) {
    std::string t = std::to_string(*n);
    t.erase(t.find_last_not_of('0') + 1);
    if (!t.empty() && t.back() == '.') t.pop_back();
    return t;
  }
  return {};
}

}  // namespace quillet
