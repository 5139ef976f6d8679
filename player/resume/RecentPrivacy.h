#pragma once
// Whether the desktop lets programs keep what was used recently: GNOME's
// org.gnome.desktop.privacy remember-recent-files, and GTK's
// gtk-recent-files-enabled in $XDG_CONFIG_HOME/gtk-3.0/settings.ini and
// gtk-4.0/settings.ini. Where none of them says no, the answer is yes.

#include <QByteArray>

namespace quillet::player {

// Starts reading the desktop's settings on a thread of its own, so that
// the answer is there when it is needed; again after an earlier read ended,
// so that a change is followed. GUI thread only.
void refreshRecentPrivacy();

// Whether places and recent files may be kept: the last read's answer,
// waited for when one is under way (started by this call if none was).
// GUI thread only.
bool mayKeepRecentThings();

// GTK's settings.ini text: false only where its [Settings] group turns
// gtk-recent-files-enabled off.
bool gtkRecentFilesEnabled(const QByteArray& settingsIni);

}  // namespace quillet::player
