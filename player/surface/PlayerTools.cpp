// What the player does beyond its bar: speed, screenshots, the request for
// the folder's other videos, and the short notes over the picture that tell
// what a key did where the bar does not show it.

#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPainter>
#include <cmath>

#include "player/surface/FlashPlayerWidget.h"
#include "player/surface/PlayerAccessible.h"
#include "player/surface/Screenshot.h"

namespace quillet::player {

namespace {

Q_LOGGING_CATEGORY(lcPlayer, "quillet.player", QtWarningMsg)

constexpr double kSpeedStep = 1.1;  // a tenth faster or slower a press
constexpr int kNoteMargin = 8;
constexpr int kNotePadding = 5;

}  // namespace

void FlashPlayerWidget::setUpNotes() {
  noteTimer_ = new QTimer(this);
  noteTimer_->setSingleShot(true);
  noteTimer_->setInterval(kNoteMilliseconds);
  connect(noteTimer_, &QTimer::timeout, this, [this] {
    update(noteRect());
    note_.clear();
    dropResumeOffer();
    announceNote(*this);
  });
  connect(&session_, &PlaybackSession::speedChanged, this, [this] {
    //: The playback speed, shown briefly over the picture: "Speed 1.5×".
    showNote(QCoreApplication::translate("quillet::player::FlashPlayerWidget", "Speed %1×")
                 .arg(QLocale().toString(session_.speed(), 'g', 3)));
    emit playback_->speedChanged();
  });
}

bool FlashPlayerWidget::videoReady() const {
  // Opening ends when the stream's duration is known.
  return movie_ && session_.canPlay() && session_.duration() > 0;
}

void FlashPlayerWidget::changeSpeed(int steps) {
  if (!videoReady()) return;
  playback_->setSpeed(steps == 0 ? 1.0 : session_.speed() * std::pow(kSpeedStep, steps));
}

void FlashPlayerWidget::requestNeighbour(int step) {
  // A video that could not be opened is passed over like any other.
  if (!movie_ || session_.settings().source.isEmpty()) return;
  if (videoReady() || session_.failed()) emit playback_->neighbourRequested(step);
}

// ---- Screenshots --------------------------------------------------------------

void FlashPlayerWidget::saveScreenshot() {
  if (!videoReady()) return;
  const QImage picture = session_.snapshot();
  if (picture.isNull()) return;  // sound only, or no frame yet
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) {
    qCWarning(lcPlayer) << "screenshot: the picture could not be made into a PNG";
    return;
  }
  const QByteArray folder = picturesFolder();
  const QByteArray name =
      screenshotName(videoBaseName(session_.settings().source), session_.livePosition());
  QString why;
  if (const auto saved = writeNewFile(folder, name, png, &why)) {
    //: A screenshot was saved under this file name.
    showNote(QCoreApplication::translate("quillet::player::FlashPlayerWidget", "Saved %1")
                 .arg(QFile::decodeName(*saved)));
    return;
  }
  qCInfo(lcPlayer).noquote() << "screenshot: not saved in" << QFile::decodeName(folder) << "-"
                             << why;
  //: The screenshot could not be written into this folder.
  showNote(QCoreApplication::translate("quillet::player::FlashPlayerWidget",
                                       "Cannot save the picture in %1")
               .arg(QFile::decodeName(folder)));
}

void FlashPlayerWidget::copyScreenshot() {
  if (!videoReady()) return;
  const QImage picture = session_.snapshot();
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (picture.isNull() || !clipboard) return;
  clipboard->setImage(picture);
  //: A screenshot was put on the clipboard.
  showNote(QCoreApplication::translate("quillet::player::FlashPlayerWidget", "Picture copied"));
}

// ---- Notes ------------------------------------------------------------------------

void FlashPlayerWidget::showNote(const QString& text, int milliseconds) {
  // Any other note replaces the offer to go on.
  dropResumeOffer();
  if (!note_.isEmpty()) update(noteRect());
  note_ = text;
  if (note_.isEmpty()) {
    noteTimer_->stop();
    announceNote(*this);
    return;
  }
  update(noteRect());
  noteTimer_->start(milliseconds);
  announceNote(*this);
}

QRect FlashPlayerWidget::noteRect() const {
  if (note_.isEmpty()) return {};
  const QRect area = layout().stage.adjusted(kNoteMargin, kNoteMargin, -kNoteMargin, -kNoteMargin);
  const QFontMetrics metrics(font());
  const QSize text(metrics.horizontalAdvance(note_), metrics.height());
  const QRect box(area.topLeft(), text + QSize(2 * kNotePadding, 2 * kNotePadding));
  return box.intersected(area);
}

void FlashPlayerWidget::paintNote(QPainter& p) const {
  const QRect box = noteRect();
  if (box.isEmpty()) return;
  p.save();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 170));
  p.drawRoundedRect(box, 4, 4);
  p.setPen(Qt::white);
  p.setFont(font());
  p.drawText(
      box.adjusted(kNotePadding, kNotePadding, -kNotePadding, -kNotePadding),
      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
      QFontMetrics(font()).elidedText(note_, Qt::ElideMiddle, box.width() - 2 * kNotePadding));
  p.restore();
}

}  // namespace quillet::player
