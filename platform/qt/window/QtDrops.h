#pragma once
// Files dropped on a window, on Qt: accepting drops is setAcceptDrops, a
// window procedure is an event filter on the window's widget, and a drop's
// handle names the local paths of its text/uri-list until it is released.

#include <QPointer>
#include <map>
#include <string>
#include <vector>

#include "platform/Drops.h"

class QWidget;

namespace quillet::qt {

class QtDrops : public Drops {
 public:
  // The id that stands for a window's own handling, its first procedure.
  static constexpr std::intptr_t kOwnHandling = 1;

  QtDrops() = default;
  ~QtDrops() override;
  QtDrops(const QtDrops&) = delete;
  QtDrops& operator=(const QtDrops&) = delete;

  void dragAcceptFiles(WindowHandle window, bool accept) override;
  std::intptr_t setWindowProc(WindowHandle window, WindowProc procedure) override;
  std::intptr_t restoreWindowProc(WindowHandle window, std::intptr_t previous) override;
  void callWindowProc(std::intptr_t previous, WindowHandle window,
                      const WindowMessage& message) override;
  std::string dragQueryFile(DropHandle drop, int index) override;
  void dragFinish(DropHandle drop) override { drops.erase(drop); }

  // Drops handed out and not yet released.
  std::size_t openDrops() const { return drops.size(); }

 private:
  class Hook;
  friend class Hook;
  bool dispatch(Hook& hook, const WindowMessage& message);
  DropHandle newDrop(std::vector<std::string> paths);

  std::map<WindowHandle, std::vector<QPointer<Hook>>> hooks;  // oldest first
  std::map<DropHandle, std::vector<std::string>> drops;
  std::vector<bool> passedOn;  // one entry per event being dispatched
  std::intptr_t nextHookId = kOwnHandling + 1;
  DropHandle nextDrop = 1;
};

}  // namespace quillet::qt
