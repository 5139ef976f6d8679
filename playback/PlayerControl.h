#pragma once
// The player control as the window drives it: its names, the connection of
// its events, and the text that carries a video's path to the movie.

#include <memory>
#include <string>
#include <string_view>

#include "platform/ControlHost.h"

namespace quillet {

inline constexpr const char* kPlayerProgId = "ShockwaveFlash.ShockwaveFlash";
inline constexpr const char* kPlayerControlName = "flashplayer";

// Connects the events of one control at a time. Connecting another control
// cuts the previous one off, and the connection ends with this object, so no
// event reaches a handler that no longer exists.
class ControlEvents {
 public:
  ControlEvents() = default;
  ~ControlEvents() { disconnect(); }
  ControlEvents(const ControlEvents&) = delete;
  ControlEvents& operator=(const ControlEvents&) = delete;

  void connect(const std::shared_ptr<Extender>& control, Extender::EventHandler handler) {
    disconnect();
    if (!control) return;
    control->setEventHandler(std::move(handler));
    source = control;
  }
  void disconnect() {
    if (auto old = source.lock()) old->setEventHandler(nullptr);
    source.reset();
  }

 private:
  std::weak_ptr<Extender> source;
};

// The control to drive, or, when none could be created, a stand-in on which
// every operation fails, so each step is skipped like any other failure.
Extender& controlOrNone(const std::shared_ptr<Extender>& control);

// A FlashVars value as the component reads it back after percent-decoding:
// "%", "&", "=", "+", "#", control characters and bytes that are not part of
// a UTF-8 character are escaped, everything else (blanks, non-ASCII
// characters) goes in as it is. The text handed over is then UTF-8 whatever
// the value's bytes were.
std::string EncodeFlashVarsValue(std::string_view value);

}  // namespace quillet
