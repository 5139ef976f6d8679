#pragma once
// The window manager's frame around a top-level window: caption bar and
// borders, in pixels.

#include <QAbstractNativeEventFilter>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>

namespace quillet::qt {

struct FrameExtents {
  int left = 0, right = 0, top = 0, bottom = 0;
  friend bool operator==(const FrameExtents&, const FrameExtents&) = default;
};

// What asking the window manager for a window's frame gave.
struct FrameAnswer {
  enum class Kind {
    NoManager,  // no window manager, or not X11: the window has no frame
    Answered,   // the window manager's frame
    NoAnswer,   // a window manager runs but has not told the frame (yet)
  };
  Kind kind = Kind::NoManager;
  FrameExtents extents;
};

// Asks the window manager which frame it gives the (decorated) window, also
// before the window is mapped (X11 _NET_REQUEST_FRAME_EXTENTS), and waits at
// most `bound` for the answer. The frame it already announced for a window
// is taken as it is; nothing the window manager wrote is ever removed.
FrameAnswer requestFrameExtents(QWidget& window, std::chrono::milliseconds bound);

// The frame the window manager has announced for the window now
// (_NET_FRAME_EXTENTS), nullopt while it has announced none.
std::optional<FrameExtents> announcedFrameExtents(QWidget& window);

// Tells when the window manager announces a new frame for the window, or
// when the window's own decoration hints reach the X server. The callback
// runs inside the native event handling: it must only take note.
class FrameWatch : public QAbstractNativeEventFilter {
 public:
  enum class Change { Frame, OwnHints };
  FrameWatch(QWidget& window, std::function<void(Change)> changed);
  ~FrameWatch() override;
  FrameWatch(const FrameWatch&) = delete;
  FrameWatch& operator=(const FrameWatch&) = delete;

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  QWidget& window;
  std::function<void(Change)> changed;
  unsigned frameAtom = 0, hintsAtom = 0;
  bool installed = false;
};

}  // namespace quillet::qt
