#pragma once
// libmpv made ready while the application sets itself up. Started on a
// thread of its own once the command line is known, the core opens the video
// it names, paused, so that the first frame is being decoded while the
// window is made; the first engine takes the core, and takes the video as it
// is when the player opens that same file.

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

#include "player/engine/MpvEngine.h"
#include "player/engine/SoftwareRenderer.h"

namespace quillet::player {

class FlvReader;

// The address may be empty (no video) or anything a user typed: only a
// regular local file is opened early. Nothing happens while a core started
// before is not taken yet. Main thread only.
void startEngineEarly(const QString& address);

struct MpvCore {
  MpvHandle mpv;  // initialised, its properties watched
  RenderContext renderContext;
  QByteArray openedUrl;            // what it opened paused (the file's bytes); empty: nothing
  std::shared_ptr<FlvReader> flv;  // the reader it opened that FLV through, if any
};

// A core set up with the engine's options, its render context made and its
// properties watched, nothing opened; nullopt when libmpv cannot be set up.
// Any thread; libmpv needs the C numeric locale.
std::optional<MpvCore> makeMpvCore();

// Waits for the core the thread made; nullopt when none was started, it is
// taken already, or libmpv could not be set up there.
std::optional<MpvCore> takeEarlyCore();

}  // namespace quillet::player
