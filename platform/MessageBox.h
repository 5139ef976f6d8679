#pragma once
#include <string>

namespace quillet {

enum class Answer { Yes = 6, No = 7 };

// Yes/No buttons, stop icon, Yes the default, application-modal, no owner.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual Answer askYesNoStop(const std::string& text, const std::string& title) = 0;
};

}  // namespace quillet
