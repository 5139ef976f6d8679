// Going on where a video was left: a local video left more than a minute in
// (and more than half a minute before its end; only videos longer than two
// minutes) is kept with its place; one left near its start keeps the place
// it had. Opened again it starts at 0 as always,
// and a note offers to go on from there: Enter or a click on the note does,
// any other key or 8 seconds take the note away. Reaching the end forgets
// the place. Nothing is kept where the desktop keeps no recent files.

#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QShortcut>
#include <map>

#include "player/movie/FlashVars.h"
#include "player/resume/PlaceStore.h"
#include "player/resume/RecentPrivacy.h"
#include "player/surface/FlashPlayerWidget.h"
#include "player/surface/TimeText.h"

namespace quillet::player {

namespace {

constexpr int kOfferMilliseconds = 8000;
constexpr double kMinBeforeEnd = 30;  // seconds, as worthResuming counts them

// One store a file for the whole process: every player reads and writes the
// same places.
PlaceStore& places() {
  static std::map<QString, PlaceStore> stores;
  const QString file = PlaceStore::defaultFile();
  return stores.try_emplace(file, file).first->second;
}

}  // namespace

void FlashPlayerWidget::setUpResume() {
  // Enter belongs to the offer while it is shown, whatever has the focus.
  resumeKey_ = new QShortcut(this);
  resumeKey_->setKeys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
  resumeKey_->setAutoRepeat(false);
  resumeKey_->setEnabled(false);
  connect(resumeKey_, &QShortcut::activated, this, &FlashPlayerWidget::takeResumeOffer);
  connect(&session_, &PlaybackSession::barChanged, this, &FlashPlayerWidget::followResume);
}

void FlashPlayerWidget::startResume() {
  const QString address = session_.settings().source;
  if (address.isEmpty() || isHttpAddress(address)) return;
  const QString path = localFilePath(address);
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isFile()) return;
  refreshRecentPrivacy();
  place_.emplace();
  place_->path = bytesOf(path);
  place_->size = info.size();
}

void FlashPlayerWidget::followResume() {
  if (!place_) return;
  if (!place_->offered && videoReady()) {
    place_->offered = true;
    if (mayKeepRecentThings()) place_->kept = places().place(place_->path, place_->size);
    if (place_->kept && worthResuming(*place_->kept, session_.duration())) {
      //: Over the picture of a video opened again: Enter goes on from where
      //: it was left ("Continue from 12:34 (Enter)").
      showNote(QCoreApplication::translate("quillet::player::FlashPlayerWidget",
                                           "Continue from %1 (Enter)")
                   .arg(timeText(*place_->kept)),
               kOfferMilliseconds);
      resumeOffer_ = *place_->kept;
      resumeKey_->setEnabled(true);
      qApp->installEventFilter(this);
    }
  }
  if (session_.atEnd() && !place_->forgotten) {
    place_->forgotten = true;
    if (mayKeepRecentThings()) {
      places().forget(place_->path, place_->size);
      places().save();
    }
  }
  const bool playing = session_.playing();
  if (std::exchange(place_->wasPlaying, playing) && !playing) keepPlace();
}

void FlashPlayerWidget::keepPlace() {
  // Only a video that was played (or sought) has a new place to keep.
  if (!place_ || !videoReady() || !session_.started() || session_.atEnd() || place_->forgotten)
    return;
  if (!mayKeepRecentThings()) return;
  const double position = session_.livePosition();
  if (worthResuming(position, session_.duration())) {
    places().remember(place_->path, place_->size, position);
  } else if (position >= session_.duration() - kMinBeforeEnd) {
    // As good as watched to the end.
    places().forget(place_->path, place_->size);
  }
  // Left near the start (the offer passed over, say): the place kept stays.
  places().save();
}

void FlashPlayerWidget::takeResumeOffer() {
  const std::optional<double> offer = resumeOffer_;
  if (!offer) return;
  showNote({});  // drops the offer with the note
  playback_->seekTo(*offer);
}

void FlashPlayerWidget::dropResumeOffer() {
  if (!resumeOffer_) return;
  resumeOffer_.reset();
  resumeKey_->setEnabled(false);
  qApp->removeEventFilter(this);
  // The note goes with it unless another one replaces it.
  if (!note_.isEmpty()) {
    update(noteRect());
    note_.clear();
    noteTimer_->stop();
  }
}

bool FlashPlayerWidget::eventFilter(QObject* watched, QEvent* event) {
  // Any key but Enter takes the offer away, and does what it does. A key that
  // is a shortcut comes as its override only.
  if (resumeOffer_ &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool modifierOnly =
        key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta;
    if (key != Qt::Key_Return && key != Qt::Key_Enter && !modifierOnly) dropResumeOffer();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace quillet::player
