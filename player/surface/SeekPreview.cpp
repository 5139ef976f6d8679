#include "player/surface/SeekPreview.h"

#include <algorithm>
#include <cmath>

#include "player/engine/FramePreview.h"
#include "player/movie/FlashVars.h"

namespace quillet::player {

QImage PreviewCache::find(qint64 key) {
  const auto it = byKey_.find(key);
  if (it == byKey_.end()) return {};
  order_.splice(order_.begin(), order_, it->second);
  return it->second->picture;
}

void PreviewCache::insert(qint64 key, const QImage& picture) {
  if (picture.isNull() || picture.sizeInBytes() > budget_) return;
  if (const auto it = byKey_.find(key); it != byKey_.end()) {
    bytes_ -= it->second->picture.sizeInBytes();
    order_.erase(it->second);
    byKey_.erase(it);
  }
  order_.push_front({key, picture});
  byKey_[key] = order_.begin();
  bytes_ += picture.sizeInBytes();
  while (bytes_ > budget_) {
    bytes_ -= order_.back().picture.sizeInBytes();
    byKey_.erase(order_.back().key);
    order_.pop_back();
  }
}

void PreviewCache::clear() {
  order_.clear();
  byKey_.clear();
  bytes_ = 0;
}

PreviewPoint previewPoint(const KeyframeIndex& index, double seconds) {
  seconds = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
  if (const auto key = keyframeAtOrBefore(index, seconds))
    return {static_cast<qint64>(std::llround(key->time * 1000)), key->time};
  const double half = std::floor(seconds * 2) / 2;
  return {static_cast<qint64>(std::llround(half * 1000)), half};
}

QSize previewPictureSize(const QSize& area, const QSize& video, int room) {
  constexpr int kMaxWidth = 480;
  constexpr int kMinSide = 16;
  const QSize v = video.isEmpty() ? QSize(4, 3) : video;
  int width = std::min(area.width() / 3, kMaxWidth);
  int height = static_cast<int>(std::lround(double(width) * v.height() / v.width()));
  if (height > room) {
    height = room;
    width = static_cast<int>(std::lround(double(height) * v.width() / v.height()));
  }
  if (width < kMinSide || height < kMinSide) return {};
  return {width, height};
}

SeekPreview::SeekPreview(QObject* parent) : QObject(parent) {}

SeekPreview::~SeekPreview() = default;

void SeekPreview::setVideo(const QString& localPath) {
  // A pipe or a device could hold the preview's engine, and its end, forever.
  path_ = isRegularFile(localPath) ? localPath : QString();
  unavailable_ = false;
  prepared_ = false;
  cache_.clear();
  picture_ = QImage();
  pictureKey_ = wantedKey_ = -1;
  if (frames_) frames_->setSource(path_);
  hide();
}

void SeekPreview::showAt(double seconds, const KeyframeIndex& index, const QSize& size) {
  const PreviewPoint point = previewPoint(index, seconds);
  const bool moved = !shown_ || seconds != seconds_;
  shown_ = true;
  seconds_ = seconds;
  if (givesPictures() && !size.isEmpty()) {
    if (size != wantedSize_) {
      cache_.clear();  // pictures of another size (full screen came or went)
      wantedSize_ = size;
      wantedKey_ = -1;
    }
    if (point.key != wantedKey_) {
      wantedKey_ = point.key;
      if (QImage kept = cache_.find(point.key); !kept.isNull()) {
        picture_ = kept;
        pictureKey_ = point.key;
      } else {
        frames().request(point.key, point.seconds, size);
      }
    }
  }
  if (moved) emit changed();
}

FramePreview& SeekPreview::frames() {
  if (!frames_) {
    frames_ = std::make_unique<FramePreview>();
    connect(frames_.get(), &FramePreview::pictureReady, this, &SeekPreview::received);
    connect(frames_.get(), &FramePreview::unavailable, this, [this] {
      unavailable_ = true;
      picture_ = QImage();
      emit changed();
    });
    frames_->setSource(path_);
  }
  return *frames_;
}

void SeekPreview::prepare() {
  if (!givesPictures() || prepared_) return;
  prepared_ = true;
  frames().prepare();
}

void SeekPreview::hide() {
  if (!shown_) return;
  shown_ = false;
  // Only the newest hover counts: what comes for an older one is kept, not shown.
  wantedKey_ = -1;
  emit changed();
}

void SeekPreview::received(qint64 key, const QImage& picture) {
  if (picture.size() != wantedSize_) return;
  cache_.insert(key, picture);
  if (!shown_ || key != wantedKey_) return;
  picture_ = picture;
  pictureKey_ = key;
  emit changed();
}

}  // namespace quillet::player
