#pragma once
// The player's keys for its playback commands, in one table: input makes
// shortcuts of them, and the bar's accessible parts name the key that does
// what their action does and run it.

#include <QKeyCombination>
#include <array>

#include "player/PlaybackControl.h"

namespace quillet::player {

inline constexpr double kSeekStep = 5;      // seconds, arrow keys
inline constexpr double kFineSeekStep = 1;  // seconds, Shift+arrow keys
inline constexpr int kVolumeStep = 5;       // percent, Up/Down and a wheel notch

struct KeyCommand {
  QKeyCombination key;
  bool repeats;  // held down, it acts again and again
  void (*run)(PlaybackControl&);
};

inline const std::array<KeyCommand, 17> kKeyCommands = {{
    {QKeyCombination(Qt::Key_K), false, [](PlaybackControl& p) { p.togglePause(); }},
    {QKeyCombination(Qt::Key_MediaTogglePlayPause), false,
     [](PlaybackControl& p) { p.togglePause(); }},
    // Most keyboards' single play/pause key sends "play".
    {QKeyCombination(Qt::Key_MediaPlay), false, [](PlaybackControl& p) { p.togglePause(); }},
    {QKeyCombination(Qt::Key_MediaPause), false, [](PlaybackControl& p) { p.pause(); }},
    {QKeyCombination(Qt::Key_MediaStop), false, [](PlaybackControl& p) { p.stop(); }},
    {QKeyCombination(Qt::Key_Left), true, [](PlaybackControl& p) { p.seekBy(-kSeekStep); }},
    {QKeyCombination(Qt::Key_Right), true, [](PlaybackControl& p) { p.seekBy(kSeekStep); }},
    {QKeyCombination(Qt::ShiftModifier, Qt::Key_Left), true,
     [](PlaybackControl& p) { p.seekBy(-kFineSeekStep); }},
    {QKeyCombination(Qt::ShiftModifier, Qt::Key_Right), true,
     [](PlaybackControl& p) { p.seekBy(kFineSeekStep); }},
    {QKeyCombination(Qt::Key_Up), true, [](PlaybackControl& p) { p.changeVolume(kVolumeStep); }},
    {QKeyCombination(Qt::Key_Down), true, [](PlaybackControl& p) { p.changeVolume(-kVolumeStep); }},
    {QKeyCombination(Qt::Key_M), false, [](PlaybackControl& p) { p.setMuted(!p.isMuted()); }},
    {QKeyCombination(Qt::Key_F), false, [](PlaybackControl& p) { p.toggleFullScreen(); }},
    {QKeyCombination(Qt::Key_Escape), false, [](PlaybackControl& p) { p.leaveFullScreen(); }},
    {QKeyCombination(Qt::Key_Home), false, [](PlaybackControl& p) { p.seekTo(0); }},
    {QKeyCombination(Qt::Key_Period), true, [](PlaybackControl& p) { p.stepFrame(true); }},
    {QKeyCombination(Qt::Key_Comma), true, [](PlaybackControl& p) { p.stepFrame(false); }},
}};

// Runs the command of a key of the table; nothing for another key.
inline void runKey(QKeyCombination key, PlaybackControl& playback) {
  for (const KeyCommand& command : kKeyCommands)
    if (command.key == key) command.run(playback);
}

}  // namespace quillet::player
