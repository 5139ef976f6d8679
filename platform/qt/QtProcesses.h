#pragma once
#include <QStringList>

#include "platform/Processes.h"

namespace quillet::qt {

class QtProcesses : public Processes {
 public:
  // arguments: the program's own, without its name.
  explicit QtProcesses(QStringList arguments) : arguments(std::move(arguments)) {}
  // Through the desktop's URL handler (xdg-open), started with an argument
  // list, never through a shell; not waited for.
  Status openUrl(const std::string& address) override;
  std::string argumentText() const override;

 private:
  QStringList arguments;
};

}  // namespace quillet::qt
