// The player's keys, wheel and double-click. Each one is a command of the
// player's PlaybackControl, the same that the control bar uses.
//
// The keys are shortcuts of the whole window, so they work whatever control
// has the focus; Space alone is the focused widget's, so that a push button
// or the check box reached with Tab keeps it (and Enter), as everywhere on
// the desktop. The picture takes the focus when clicked, when a video opens
// and in full screen, where Space then plays and pauses.

#include <QKeyEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QWheelEvent>
#include <array>

#include "player/surface/FlashPlayerWidget.h"
#include "player/surface/PlayerKeys.h"

namespace quillet::player {

namespace {

constexpr int kUnitsPerNotch = 120;     // Qt's wheel units for one notch
constexpr int kWheelUnitsPerPixel = 4;  // touchpads that give only pixels: 30 px a notch

// The keys beyond the bar's: speed, screenshots and the folder's other
// videos.
struct ToolKey {
  QKeyCombination key;
  bool repeats;
  void (*run)(FlashPlayerWidget&);
};

const std::array<ToolKey, 7> kToolKeys = {{
    {QKeyCombination(Qt::Key_BracketRight), true, [](FlashPlayerWidget& w) { w.changeSpeed(1); }},
    {QKeyCombination(Qt::Key_BracketLeft), true, [](FlashPlayerWidget& w) { w.changeSpeed(-1); }},
    {QKeyCombination(Qt::Key_Backspace), false, [](FlashPlayerWidget& w) { w.changeSpeed(0); }},
    {QKeyCombination(Qt::Key_S), false, [](FlashPlayerWidget& w) { w.saveScreenshot(); }},
    {QKeyCombination(Qt::ControlModifier, Qt::Key_C), false,
     [](FlashPlayerWidget& w) { w.copyScreenshot(); }},
    {QKeyCombination(Qt::Key_PageDown), false, [](FlashPlayerWidget& w) { w.requestNeighbour(1); }},
    {QKeyCombination(Qt::Key_PageUp), false, [](FlashPlayerWidget& w) { w.requestNeighbour(-1); }},
}};

}  // namespace

void FlashPlayerWidget::addShortcuts() {
  // Children of the player: a removed player is hidden at once, and a
  // hidden widget's shortcuts never compete with the new player's.
  const auto addAll = [this](const auto& table, auto* target) {
    for (const auto& entry : table) {
      auto* shortcut = new QShortcut(QKeySequence(entry.key), this);
      shortcut->setAutoRepeat(entry.repeats);
      connect(shortcut, &QShortcut::activated, target, [target, run = entry.run] { run(*target); });
    }
  };
  addAll(kKeyCommands, playback_);
  addAll(kToolKeys, this);
}

void FlashPlayerWidget::keyPressEvent(QKeyEvent* event) {
  const QKeyCombination key = event->keyCombination();
  // The same Enter as the window's shortcut, for a player outside an active window.
  if (resumeOffer_ &&
      (key == QKeyCombination(Qt::Key_Return) || key == QKeyCombination(Qt::Key_Enter))) {
    takeResumeOffer();
    return;
  }
  if (key == QKeyCombination(Qt::Key_Space)) {
    if (!event->isAutoRepeat()) playback_->togglePause();
    return;
  }
  // The same keys reach the player itself where the window's shortcuts do
  // not apply (a player outside an active window).
  const auto runFrom = [&](const auto& table, auto& target) {
    for (const auto& entry : table) {
      if (entry.key != key) continue;
      if (entry.repeats || !event->isAutoRepeat()) entry.run(target);
      return true;
    }
    return false;
  };
  if (!runFrom(kKeyCommands, *playback_) && !runFrom(kToolKeys, *this))
    QWidget::keyPressEvent(event);
}

void FlashPlayerWidget::wheelEvent(QWheelEvent* event) {
  if (!movie_) {
    event->ignore();
    return;
  }
  int units = event->angleDelta().y();
  if (units == 0) units = event->pixelDelta().y() * kWheelUnitsPerPixel;
  // Small steps add up to notches; turning back starts afresh.
  int& pending = movie_->wheelUnits;
  if ((units > 0 && pending < 0) || (units < 0 && pending > 0)) pending = 0;
  pending += units;
  const int notches = pending / kUnitsPerNotch;
  pending -= notches * kUnitsPerNotch;
  if (notches != 0) playback_->changeVolume(notches * kVolumeStep);
  event->accept();
}

void FlashPlayerWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  // On the picture a double-click switches the screen and nothing else:
  // its first click did what a single click does (at most the first play),
  // and this second one is not taken as another click. On the bar it is a
  // second click on whatever is there.
  const QPoint pos = event->position().toPoint();
  const bool onBar = barVisible() && layout().bar.bar.contains(pos);
  if (movie_ && event->button() == Qt::LeftButton && !onBar && rect().contains(pos)) {
    playback_->toggleFullScreen();
    return;
  }
  QWidget::mouseDoubleClickEvent(event);
}

}  // namespace quillet::player
