#pragma once
#include "platform/MessageBox.h"

namespace quillet::qt {

// A QMessageBox with Yes and No, the critical (stop) icon and Yes as the
// default; application-modal, without a parent. Closing it answers No.
class QtMessageBox : public MessageBox {
 public:
  Answer askYesNoStop(const std::string& text, const std::string& title) override;
};

}  // namespace quillet::qt
