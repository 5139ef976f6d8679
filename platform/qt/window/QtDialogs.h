#pragma once
// The open dialog on Qt: a QFileDialog (the desktop's chooser through Qt's
// platform theme, else Qt's own), modal and owned by the window the request
// names.

#include "platform/Dialogs.h"

namespace quillet::qt {

class QtDialogs : public Dialogs {
 public:
  std::optional<std::string> getOpenFileName(const OpenFileRequest& request) override;
};

}  // namespace quillet::qt
