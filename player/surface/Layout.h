#pragma once
// Where every part of the player goes for a given size: the control bar along
// the bottom, the video fitted above it, the overlays. Pure geometry in
// widget pixels; nothing is scaled, everything hangs from the top left.

#include <QRect>
#include <QSize>

namespace quillet::player {

inline constexpr int kBarHeight = 27;
// The full-screen and normal-size buttons stand this far from the right edge.
inline constexpr int kScreenButtonsFromRight = 25;
inline constexpr int kVolumeWidth = 40;
// The video's size until the media tells its own.
inline constexpr QSize kDefaultVideoSize{320, 240};

struct BarLayout {
  QRect bar;           // mc_bar and its background mc_base
  QRect shadow;        // mc_sombra, a strip along the bar's top edge
  QRect playPause;     // b_play and b_pause share this place
  QRect progress;      // mc_progreso: its click and drag area
  QRect display;       // the time text
  QRect mute;          // the mute toggle beside the volume slider
  QRect volume;        // mc_volumen, kVolumeWidth pixels for 0 to 100
  QRect screenButton;  // b_full and b_normal share this place; null when hidden
};

struct StageLayout {
  QRect stage;            // the whole component
  QRect aboveBar;         // the area above the bar: mc_screen and mc_boton
  QRect video;            // mc_video, fitted into aboveBar
  QRect playSymbol;       // mc_play
  QRect loadIndicator;    // mc_load
  bool loadFits = false;  // whether mc_load fits above the bar
  BarLayout bar;
};

// The largest rectangle of the video's aspect ratio inside the area, centred:
// full height if that is not too wide, else full width. An empty or invalid
// video size counts as kDefaultVideoSize.
QRect fitVideo(const QRect& area, QSize video);

BarLayout layoutBar(QSize stage, bool withScreenButtons);
StageLayout layoutStage(QSize stage, QSize video, bool withScreenButtons);

// Parts of the progress bar: the thin track inside its click area, a part of
// it filled to a fraction (loaded or played), and the drag handle.
QRect progressTrack(const QRect& progress);
QRect progressFilled(const QRect& progress, double fraction);
QRect progressHandle(const QRect& progress, double fraction);
// The fraction of the bar at a horizontal position, clamped to 0..1.
double progressFractionAt(const QRect& progress, int x);

// The volume (0 to 100) that a click at x on the slider selects.
int volumeAt(const QRect& volume, int x);
// The filled part of the slider for a volume.
QRect volumeFilled(const QRect& volume, int percent);

}  // namespace quillet::player
