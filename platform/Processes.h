#pragma once
// Other programs and the process itself.

#include <string>

#include "platform/Status.h"

namespace quillet {

class Processes {
 public:
  virtual ~Processes() = default;
  // Hands the address to the desktop's URL handler with an argument list,
  // never a shell; does not wait.
  virtual Status openUrl(const std::string& address) = 0;
  // The program's arguments joined by single blanks; empty without any.
  virtual std::string argumentText() const = 0;
};

}  // namespace quillet
