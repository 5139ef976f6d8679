#pragma once
// The hosted player component: a widget that honours the player control's
// properties, its LoadMovie method and its FSCommand event, reached by name
// through Qt's meta-object system. It knows nothing of the program.
//
//   properties  WMode (QString), FlashVars (QString), BGColor (QString),
//               Menu (bool), Quality2 (QString), BackgroundColor (int)
//   method      LoadMovie(int layer, QString path)
//   signal      FSCommand(QString command, QString args)
//
// Beside the control's interface, a player offers its playback commands and
// notifications (PlaybackControl.h) to whoever wires it to the desktop.

#include <memory>

class QWidget;

namespace quillet::player {

class PlaybackControl;

// The ProgIDs the component answers to.
inline constexpr const char* kProgId = "ShockwaveFlash.ShockwaveFlash";
inline constexpr const char* kVersionedProgId = "ShockwaveFlash.ShockwaveFlash.10";

// A new player, or null when the media engine cannot be initialised.
std::unique_ptr<QWidget> createFlashPlayer();

// The playback commands and notifications of a player made here; null for
// any other widget.
PlaybackControl* playbackOf(QWidget* component);

}  // namespace quillet::player
