#pragma once
// The window's player: the player control it holds, the idle player, the
// opening of a video (GotADrop), and the full screen that the player asks
// for. The window owns one and hands it what its load measured and made.
// Beside it, the player control as the window drives it: its names, the
// connection of its events, and the text that carries a video's path to
// the movie.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ControlHost.h"
#include "platform/Trace.h"
#include "platform/Window.h"

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

// What the player needs of the window that holds it, beyond its platform
// Window: the values the window's load measured and made.
class PlayerWindow {
 public:
  virtual ~PlayerWindow() = default;
  // The outer height less the client height of the sizable window, in twips.
  virtual std::int16_t measuredFrameHeight() const = 0;
  // The temporary player movie, or empty when none was made.
  virtual const std::string& movieFile() const = 0;
};

class Playback {
 public:
  Playback(Window& window, Screen& screen, ControlHost& controls, Trace& trace,
           const PlayerWindow& host);

  // Player control (playback/Playback.cpp).
  void CreatePlayerControl();
  void LoadIdlePlayer();
  // The one way every video is opened.
  void GotADrop(std::string flvfile);

  // Events of the player control held in ctrl (playback/PlaybackFullScreen.cpp).
  void ctrl_ObjectEvent(const std::string& eventName, const Values& params);

  // The current player control, null until one was made.
  const std::shared_ptr<Extender>& control() const { return ctrl; }

  friend struct PlaybackTestAccess;  // the full-screen tests read the saved size

 private:
  void AttachEvents();
  // Full screen (playback/PlaybackFullScreen.cpp).
  void EnterFullScreen();
  void LeaveFullScreen();

  Window& window;
  Screen& screen;
  ControlHost& controls;
  AreaTrace trace;
  const PlayerWindow& host;

  std::shared_ptr<Extender> ctrl;
  ControlEvents ctrlEvents;  // ends before ctrl: no event outlives the player
  // Whether the window is in full screen, and where it stood before.
  bool fullScreen = false;
  std::int32_t savedWidth = 0;
  std::int32_t savedHeight = 0;
  Maybe<double> savedTop, savedLeft;
};

}  // namespace quillet
