#include "platform/qt/window/QtDrops.h"

#include <unistd.h>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

#include <algorithm>
#include <array>

#include "platform/qt/window/UriList.h"

namespace quillet::qt {

namespace {

QWidget* widgetOf(WindowHandle window) {
  return window ? QWidget::find(static_cast<WId>(window)) : nullptr;
}

std::string hostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

std::vector<std::string> localPaths(const QMimeData* mime) {
  if (!mime || !mime->hasFormat("text/uri-list")) return {};
  const QByteArray list = mime->data("text/uri-list");
  return localPathsFromUriList(std::string_view(list.constData(), list.size()), hostName());
}

}  // namespace

// One installed procedure: the filter sees every event of the window first.
class QtDrops::Hook : public QObject {
 public:
  Hook(QtDrops& owner, std::intptr_t id, std::intptr_t previous, WindowProc procedure,
       QWidget& window)
      : QObject(&window),
        id(id),
        previous(previous),
        owner(owner),
        procedure(std::move(procedure)) {}

  const std::intptr_t id;
  const std::intptr_t previous;

 protected:
  // A drag that carries local files is welcomed, so that its drop arrives.
  // The drop reaches the procedure with its handle; every event then goes on
  // to the window's own handling unless the procedure kept it.
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!localPaths(drag->mimeData()).empty()) drag->acceptProposedAction();
        return owner.dispatch(*this, {});
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        auto paths = localPaths(drop->mimeData());
        if (paths.empty()) return owner.dispatch(*this, {});
        drop->acceptProposedAction();
        return owner.dispatch(*this, {true, owner.newDrop(std::move(paths))});
      }
      default:
        return owner.dispatch(*this, {});
    }
  }

 private:
  friend class QtDrops;
  QtDrops& owner;
  WindowProc procedure;
};

QtDrops::~QtDrops() {
  for (auto& [window, list] : hooks)
    for (auto& hook : list) delete hook.data();
}

// Whether the event stops here: only when the procedure did not pass it on.
// Nothing the procedure throws may cross Qt's event loop; the event then
// goes on as usual.
bool QtDrops::dispatch(Hook& hook, const WindowMessage& message) {
  // A copy: the procedure may take its own hook away while it runs.
  const WindowProc procedure = hook.procedure;
  if (!procedure) return false;
  passedOn.push_back(false);
  bool keep = false;
  try {
    procedure(message);
    keep = !passedOn.back();
  } catch (...) {
    keep = false;
  }
  passedOn.pop_back();
  return keep;
}

DropHandle QtDrops::newDrop(std::vector<std::string> paths) {
  const DropHandle handle = nextDrop++;
  drops.emplace(handle, std::move(paths));
  return handle;
}

void QtDrops::dragAcceptFiles(WindowHandle window, bool accept) {
  if (QWidget* w = widgetOf(window)) w->setAcceptDrops(accept);
}

std::intptr_t QtDrops::setWindowProc(WindowHandle window, WindowProc procedure) {
  QWidget* w = widgetOf(window);
  if (!w) return 0;
  auto& list = hooks[window];
  std::erase_if(list, [](const QPointer<Hook>& h) { return h.isNull(); });
  const std::intptr_t previous = list.empty() ? kOwnHandling : list.back()->id;
  auto* hook = new Hook(*this, nextHookId++, previous, std::move(procedure), *w);
  w->installEventFilter(hook);
  list.push_back(hook);
  return previous;
}

// Every procedure installed after previous goes; the window's own handling
// (kOwnHandling, or 0) takes them all away.
std::intptr_t QtDrops::restoreWindowProc(WindowHandle window, std::intptr_t previous) {
  auto found = hooks.find(window);
  if (found == hooks.end()) return 0;
  auto& list = found->second;
  std::erase_if(list, [](const QPointer<Hook>& h) { return h.isNull(); });
  if (list.empty()) return 0;
  const std::intptr_t current = list.back()->id;
  while (!list.empty() && list.back()->id > previous) {
    // Deleted later: the window may be inside this very procedure.
    Hook* hook = list.back();
    if (auto* w = qobject_cast<QWidget*>(hook->parent())) w->removeEventFilter(hook);
    hook->procedure = nullptr;
    hook->deleteLater();
    list.pop_back();
  }
  if (list.empty()) hooks.erase(found);
  return current;
}

// The event goes on past the filter once the procedure returns.
void QtDrops::callWindowProc(std::intptr_t, WindowHandle, const WindowMessage&) {
  if (!passedOn.empty()) passedOn.back() = true;
}

std::string QtDrops::dragQueryFile(DropHandle drop, int index) {
  auto found = drops.find(drop);
  if (found == drops.end() || index < 0 || static_cast<std::size_t>(index) >= found->second.size())
    return {};
  return found->second[static_cast<std::size_t>(index)];
}

}  // namespace quillet::qt
