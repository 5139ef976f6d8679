#pragma once
// libmpv made ready while the application sets itself up. Started on a
// thread of its own once the command line is known, the core opens the video
// it names, paused, so that the first frame is being decoded while the
// window is made; the first engine takes the core, and takes the video as it
// is when the player opens that same file.

#include <QString>

namespace quillet::player {

// The address may be empty (no video) or anything a user typed: only a
// regular local file is opened early. Nothing happens while a core started
// before is not taken yet. Main thread only.
void startEngineEarly(const QString& address);

}  // namespace quillet::player
