#pragma once
#include <stdexcept>

namespace quillet {

// The window could not take or measure its frame at the start of its load:
// without that nothing can be laid out, so the program ends.
class WindowLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quillet
