#pragma once
// What the seek bar's preview shows: the time under the pointer and, for a
// local video, a picture of the key frame at or before it. Pictures come
// from a FramePreview made at the first hover, and are kept for as long as
// the video is open, the least recently shown going first beyond a few MiB.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <list>
#include <memory>
#include <unordered_map>

#include "player/flv/FlvMetadata.h"

namespace quillet::player {

class FramePreview;

// The pictures kept, by key frame; bounded by their pixels' bytes.
class PreviewCache {
 public:
  explicit PreviewCache(qsizetype budgetBytes) : budget_(budgetBytes) {}
  // The picture at key, now the most recently used; null when none.
  QImage find(qint64 key);
  void insert(qint64 key, const QImage& picture);
  void clear();
  qsizetype bytes() const { return bytes_; }
  std::size_t size() const { return order_.size(); }

 private:
  struct Entry {
    qint64 key;
    QImage picture;
  };
  qsizetype budget_;
  qsizetype bytes_ = 0;
  std::list<Entry> order_;  // most recently used first
  std::unordered_map<qint64, std::list<Entry>::iterator> byKey_;
};

inline constexpr qsizetype kPreviewCacheBytes = qsizetype{4} << 20;

// The key a moment's picture is kept under: its key frame's time in
// milliseconds when the index tells it, else the half second it falls in.
// Also where the preview seeks for it.
struct PreviewPoint {
  qint64 key;
  double seconds;
};
PreviewPoint previewPoint(const KeyframeIndex& index, double seconds);

// The picture's size for a player area: a third of its width (at most 480),
// the video's aspect ratio, no taller than room allows; empty when too small.
QSize previewPictureSize(const QSize& area, const QSize& video, int room);

class SeekPreview final : public QObject {
  Q_OBJECT
 public:
  explicit SeekPreview(QObject* parent = nullptr);
  ~SeekPreview() override;

  // A new video: a local file's path gives pictures; empty (none, or an
  // http video) gives the time alone. The pictures kept go.
  void setVideo(const QString& localPath);
  // The pointer or the handle is at seconds: show that moment, its picture
  // at size (device pixels) when it can have one.
  void showAt(double seconds, const KeyframeIndex& index, const QSize& size);
  // The pointer is near the bar: the engine is made now, so that the first
  // picture comes as soon as later ones.
  void prepare();
  void hide();

  bool shown() const { return shown_; }
  double seconds() const { return seconds_; }
  // The picture to show now: the moment's own, else the last one shown
  // while it is being made; null when there is none.
  QImage picture() const { return picture_; }
  // Whether picture() is the moment's own.
  bool pictureCurrent() const { return !picture_.isNull() && pictureKey_ == wantedKey_; }
  bool givesPictures() const { return !path_.isEmpty() && !unavailable_; }
  const PreviewCache& cache() const { return cache_; }

 signals:
  void changed();

 private:
  void received(qint64 key, const QImage& picture);
  FramePreview& frames();

  QString path_;
  bool unavailable_ = false;
  bool prepared_ = false;
  std::unique_ptr<FramePreview> frames_;  // made at the first hover
  PreviewCache cache_{kPreviewCacheBytes};
  bool shown_ = false;
  double seconds_ = 0;
  qint64 wantedKey_ = -1;
  QSize wantedSize_;
  QImage picture_;
  qint64 pictureKey_ = -1;
};

}  // namespace quillet::player
