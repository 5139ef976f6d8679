#pragma once
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace quillet::qt {

class QtProcesses : public Processes {
 public:
  // arguments: the program's own, without its name, as the bytes it was
  // given (a file name need not be UTF-8).
  explicit QtProcesses(std::vector<std::string> arguments) : arguments(std::move(arguments)) {}
  // Through the desktop's URL handler (xdg-open), started with an argument
  // list, never through a shell; not waited for.
  Status openUrl(const std::string& address) override;
  std::string argumentText() const override;

 private:
  std::vector<std::string> arguments;
};

}  // namespace quillet::qt
