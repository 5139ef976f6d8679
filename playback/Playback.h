#pragma once
// The window's player: the player control it holds, the idle player, the
// opening of a video (GotADrop), and the full screen that the player asks
// for. The window owns one and hands it what its load measured and made.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ControlHost.h"
#include "platform/Trace.h"
#include "platform/Window.h"
#include "playback/PlayerControl.h"

namespace quillet {

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
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // Player control (playback/PlayerControl.cpp).
  void CreatePlayerControl();
  void LoadIdlePlayer();
  // The one way every video is opened.
  void GotADrop(std::string flvfile);

  // Events of the player control held in ctrl (playback/FullScreen.cpp).
  void ctrl_ObjectEvent(const std::string& eventName, const Values& params);

  // The current player control, null until one was made.
  const std::shared_ptr<Extender>& control() const { return ctrl; }

  friend struct PlaybackTestAccess;  // the full-screen tests read the saved size

 private:
  void AttachEvents();
  // Full screen (playback/FullScreen.cpp).
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
