#pragma once
// A shared record of every call the logic makes through the fakes, in order,
// so a test can check a whole sequence across platform areas.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Value.h"

namespace quillet::fakes {

// "0:i16", "transparent:str", "False:bool", "4785:f32", "12.5:f64", "0:i32".
inline std::string describe(const Value& v) {
  struct V {
    std::string operator()(bool b) const { return std::string(b ? "True" : "False") + ":bool"; }
    std::string operator()(std::int16_t i) const { return std::to_string(i) + ":i16"; }
    std::string operator()(std::int32_t i) const { return std::to_string(i) + ":i32"; }
    std::string operator()(float f) const { return num(f) + ":f32"; }
    std::string operator()(double d) const { return num(d) + ":f64"; }
    std::string operator()(const std::string& s) const { return s + ":str"; }
    static std::string num(double d) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.10g", d);
      return buf;
    }
  };
  return std::visit(V{}, v);
}

inline std::string num(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", d);
  return buf;
}

class Journal {
 public:
  void add(std::string entry) { entries.push_back(std::move(entry)); }
  void clear() { entries.clear(); }
  const std::vector<std::string>& all() const { return entries; }
  // Entries that start with the given text, in order.
  std::vector<std::string> starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& e : entries)
      if (e.rfind(prefix, 0) == 0) out.push_back(e);
    return out;
  }
  bool has(const std::string& entry) const {
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
  }
  // Position of the first entry equal to the text, or -1.
  int indexOf(const std::string& entry) const {
    auto it = std::find(entries.begin(), entries.end(), entry);
    return it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
  }

 private:
  std::vector<std::string> entries;
};

}  // namespace quillet::fakes
