// The seek bar's preview: above the bar, at the pointer, the time there and
// a small picture of that moment. Drawn over the player only, never into a
// screenshot (those are the engine's own frames).

#include <QFontMetrics>
#include <QPainter>
#include <QRegion>
#include <algorithm>

#include "player/surface/FlashPlayerWidget.h"
#include "player/surface/PlayerAccessible.h"
#include "player/surface/TimeText.h"

namespace quillet::player {

namespace {

constexpr int kGap = 4;     // between the preview and the bar
constexpr int kBorder = 2;  // around the picture
constexpr int kTimePadding = 3;
constexpr int kApproach = 48;  // pixels above the bar

int timeHeight(const QFont& font) {
  return QFontMetrics(font).height() + 2 * kTimePadding;
}

}  // namespace

void FlashPlayerWidget::setUpSeekPreview() {
  connect(&seekPreview_, &SeekPreview::changed, this, [this] {
    // The area it covered before and the one it covers now.
    const QRect now = seekPreviewRect();
    update(QRegion(seekPreviewDrawn_) + now);
    seekPreviewDrawn_ = now;
    announceSeekPreview(*this);
  });
}

void FlashPlayerWidget::followSeekPreview(QPoint pos) {
  const BarLayout& bar = layout().bar;
  const bool dragging = movie_ && movie_->drag == Drag::Seek;
  const bool over = movie_ && barVisible() && bar.progress.contains(pos);
  if (!movie_ || session_.duration() <= 0 || !session_.canPlay() || !(dragging || over)) {
    // On its way to the bar: the pictures' engine gets ready meanwhile.
    if (movie_ && barVisible() && session_.canPlay() &&
        bar.bar.adjusted(0, -kApproach, 0, 0).contains(pos))
      seekPreview_.prepare();
    seekPreview_.hide();
    return;
  }
  const double fraction =
      dragging ? movie_->dragFraction : progressFractionAt(bar.progress, pos.x());
  seekPreviewX_ = std::clamp(pos.x(), bar.progress.left(), bar.progress.right());
  seekPreview_.showAt(fraction * session_.duration(), session_.keyframes(),
                      (QSizeF(seekPreviewPictureSize()) * devicePixelRatioF()).toSize());
  // It moves with the pointer even where the time it shows stays.
  if (const QRect now = seekPreviewRect(); now != seekPreviewDrawn_) {
    update(QRegion(seekPreviewDrawn_) + now);
    seekPreviewDrawn_ = now;
  }
}

QRect FlashPlayerWidget::seekPreviewRect() const {
  if (!seekPreview_.shown() || !movie_) return {};
  const StageLayout& l = layout();
  const QString time = timeText(seekPreview_.seconds());
  const QSize picture = seekPreview_.givesPictures() ? seekPreviewPictureSize() : QSize();
  const int width = std::max(picture.width() + 2 * kBorder,
                             QFontMetrics(font()).horizontalAdvance(time) + 4 * kTimePadding);
  const int height = (picture.isEmpty() ? 0 : picture.height() + kBorder) + timeHeight(font());
  const int left = std::clamp(seekPreviewX_ - width / 2, l.stage.left(),
                              std::max(l.stage.left(), l.stage.right() + 1 - width));
  return {left, l.bar.bar.top() - kGap - height, width, height};
}

QSize FlashPlayerWidget::seekPreviewPictureSize() const {
  return previewPictureSize(layout().stage.size(), session_.videoSize(),
                            layout().aboveBar.height() - 3 * kGap - timeHeight(font()));
}

QRect FlashPlayerWidget::seekPreviewPictureRect() const {
  const QRect box = seekPreviewRect();
  if (box.isEmpty() || !seekPreview_.givesPictures()) return {};
  const QSize picture = seekPreviewPictureSize();
  if (picture.isEmpty()) return {};
  return {box.left() + (box.width() - picture.width()) / 2, box.top() + kBorder, picture.width(),
          picture.height()};
}

void FlashPlayerWidget::paintSeekPreview(QPainter& p) const {
  const QRect box = seekPreviewRect();
  if (box.isEmpty()) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(box, QColor(0, 0, 0, 200));
  if (const QRect picture = seekPreviewPictureRect(); !picture.isEmpty()) {
    const QImage image = seekPreview_.picture();
    if (!image.isNull()) {
      p.setRenderHint(QPainter::SmoothPixmapTransform);
      p.drawImage(picture, image);
    }
  }
  p.setPen(Qt::white);
  p.setFont(font());
  const int line = timeHeight(font());
  p.drawText(QRect(box.left(), box.bottom() + 1 - line, box.width(), line),
             Qt::AlignCenter | Qt::TextSingleLine, timeText(seekPreview_.seconds()));
  p.restore();
}

}  // namespace quillet::player
