#pragma once
// The program's only window: its fields and every procedure it owns. The
// procedures live with their subsystem: load, layout and unload here in
// window/, the player control and full screen in playback/, the dialog, the
// association and the web links in shell/.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "playback/PlayerControl.h"
#include "playback/TempMovie.h"
#include "shell/FileDrop.h"

namespace quillet {

class Form1 : public WindowEvents {
 public:
  explicit Form1(Platform& platform);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Loads the window (Form_Load) and then shows it.
  void Show();

  // The one way every video is opened.
  void GotADrop(std::string flvfile);

  // Window events.
  void Form_Load();
  void Form_Resize() override;
  void Form_Unload() override;
  void OpenFile_Click() override;
  void Command1_Click() override;
  void Check1_Click() override;

  // Events of the player control held in ctrl.
  void ctrl_ObjectEvent(const std::string& eventName, const Values& params);

  friend struct PlaybackTestAccess;  // the playback tests reach the private steps

  // Read-only views for tests and the program's wiring.
  const std::shared_ptr<Extender>& controlExtender() const { return ctrl; }
  const std::string& movieFile() const { return moviePath; }
  std::int16_t measuredFrameHeight() const { return frameHeight; }

 private:
  // Player control (playback/PlayerControl.cpp).
  void CreatePlayerControl();
  void LoadIdlePlayer();
  void AttachEvents();
  // Temporary player movie (playback/TempMovie.cpp).
  void ExtractResourceToFile(std::int16_t resourceId, const std::string& filePath);
  // Full screen (playback/FullScreen.cpp).
  void EnterFullScreen();
  void LeaveFullScreen();

  Platform& platform;
  std::shared_ptr<Extender> ctrl;
  ControlEvents ctrlEvents;  // ends before ctrl: no event outlives the window
  std::string moviePath;
  std::int16_t frameHeight = 0;
  std::int32_t savedWidth = 0;
  std::int32_t savedHeight = 0;
  // Full screen (playback/FullScreen.cpp): whether the window is in it, and
  // where it stood before it went there.
  bool fullScreen = false;
  Maybe<double> savedTop, savedLeft;
  bool inResize = false;  // Form_Resize's guard against nested layout

  // Module-level state that lives as long as the program's window.
  TempFileNames tempNames;
  FileDrop fileDrop;
};

}  // namespace quillet
