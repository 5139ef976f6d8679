#pragma once
// The open dialog on Qt: Qt's own QFileDialog, modal and owned by the window
// the request names.

#include "platform/Dialogs.h"

namespace quillet::qt {

class QtDialogs : public Dialogs {
 public:
  std::optional<std::string> getOpenFileName(const OpenFileRequest& request) override;
};

}  // namespace quillet::qt
