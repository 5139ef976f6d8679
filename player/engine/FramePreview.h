#pragma once
// Pictures of a local video at chosen moments, for the seek bar's preview:
// a second libmpv core of its own, paused, silent and without sound
// decoding, on a thread of its own, so that neither the GUI thread nor the
// main engine's frames and events ever wait for it. Nothing is made before
// the first request; only the newest request counts while one is being
// served.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThread>

namespace quillet::player {

class PreviewWorker;

class FramePreview final : public QObject {
  Q_OBJECT
 public:
  explicit FramePreview(QObject* parent = nullptr);
  // Waits for the core to be let go on its thread.
  ~FramePreview() override;

  // The video the pictures come from: a local file's path; empty for none.
  // Requests for the one before are dropped.
  void setSource(const QString& path);
  // Makes the engine and opens the source ahead of the first request (the
  // pointer is on its way to the bar); nothing when that is done already.
  void prepare();
  // A picture of the key frame at or before seconds, at size (device
  // pixels). Replaces a request not yet started; answered by pictureReady
  // with the same key, or by nothing when the video gives no picture.
  void request(qint64 key, double seconds, const QSize& size);

 signals:
  void pictureReady(qint64 key, const QImage& picture);
  // The source cannot give pictures (no video, unreadable).
  void unavailable();

 private:
  QThread thread_;
  PreviewWorker* worker_ = nullptr;  // lives on thread_, deleted there
  quint64 generation_ = 0;           // counts setSource calls
};

}  // namespace quillet::player
