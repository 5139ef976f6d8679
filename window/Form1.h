#pragma once
// The program's only window: its fields, its load, layout and unload, and
// its events. Its collaborators live with their subsystem: the player, the
// opening of a video and full screen in playback/, the dialog, the dropped
// files, the association and the web links in shell/. They never reach back
// here; what they need of the window they are given.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "playback/Playback.h"
#include "playback/TempMovie.h"
#include "shell/FileDrop.h"

namespace quillet {

class Form1 : public WindowEvents, public PlayerWindow {
 public:
  explicit Form1(Platform& platform);
  ~Form1() override;

  // Loads the window (Form_Load) and then shows it.
  void Show();

  // The one way every video is opened (playback/Playback.cpp).
  void GotADrop(std::string flvfile);

  // The video `step` places after (+) or before (-) the one opened last in
  // its folder (shell/FolderVideos.h): whether there is one (as far as the
  // folder's latest listing tells, never waiting for it), and opening it
  // through GotADrop. The path opened, or nothing at either end.
  bool HasNeighbour(int step);
  Maybe<std::string> OpenNeighbour(int step);

  // Window events.
  void Form_Load();
  void Form_Resize() override;
  void Form_Unload() override;
  void OpenFile_Click() override;
  void Command1_Click() override;
  void Check1_Click() override;

  friend struct PlaybackTestAccess;  // the playback tests set up the load's results

  // Read-only views for tests, the program's wiring and the player.
  const std::shared_ptr<Extender>& controlExtender() const { return playback.control(); }
  const std::string& movieFile() const override { return moviePath; }
  std::int16_t measuredFrameHeight() const override { return frameHeight; }

 private:
  Platform& platform;
  AreaTrace loadTrace;
  AreaTrace windowTrace;
  std::string moviePath;
  std::int16_t frameHeight = 0;
  bool inResize = false;     // Form_Resize's guard against nested layout
  std::string currentVideo;  // the text GotADrop was given last

  // Collaborators that live as long as the program's window.
  TempFileNames tempNames;
  FileDrop fileDrop;
  Playback playback;
};

}  // namespace quillet
