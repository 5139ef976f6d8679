#pragma once
// What the player's surface needs of a media engine: open a stream, play,
// pause, seek, volume, and frames to paint. The libmpv implementation lives
// in MpvEngine.*; the surface never touches libmpv itself.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <memory>

#include "player/flv/FlvMetadata.h"

namespace quillet::player {

class MediaEngine : public QObject {
  Q_OBJECT
 public:
  // Stream events the player reacts to.
  // The end of the stream is its own notice, endOfStream(). StreamNotFound:
  // nothing is there (no such file, or the server has none); StreamUnplayable:
  // something is there, but it holds no video or sound that can be played.
  enum class StreamStatus { PlayStart, BufferEmpty, BufferFull, StreamNotFound, StreamUnplayable };

  using QObject::QObject;
  ~MediaEngine() override = default;

  // A local path or an http(s) address, played as a progressive download;
  // startSeconds is where time counts from when the stream is a byte-offset
  // reopen (the position of the key frame it starts at).
  virtual void open(const QString& address, bool paused, double startSeconds = 0) = 0;
  // Goes on from where the stream is; at its end it stays there (a restart
  // is a seek to 0 first).
  virtual void play() = 0;
  virtual void pause() = 0;
  virtual void seek(double seconds) = 0;
  virtual void setVolume(int percent) = 0;  // 0 to 100
  virtual void setMuted(bool muted) = 0;

  virtual bool isPaused() const = 0;
  virtual double position() const = 0;  // seconds
  virtual double duration() const = 0;  // seconds; 0 while unknown
  // Where the open stream's time begins: the key frame a byte-offset reopen
  // starts at, else 0. The engine alone keeps media time.
  virtual double streamStart() const = 0;
  // How much of the stream is loaded, 0 to 1 (a local file counts as loaded).
  virtual double loadedFraction() const = 0;
  // Seconds of media from the start that can be seeked to without reopening.
  virtual double seekableSeconds() const = 0;
  virtual QSize videoSize() const = 0;  // empty while unknown
  // The stream's key-frame index (from its onMetaData); empty while unknown.
  virtual KeyframeIndex keyframes() const = 0;
  // The title the stream's metadata gives; empty when it gives none.
  virtual QString title() const { return {}; }

  // Playback speed, 1 for normal; the sound keeps its pitch.
  virtual void setSpeed(double factor) { Q_UNUSED(factor); }
  // Pauses and shows the next frame, or the one before.
  virtual void stepFrame(bool forward) { Q_UNUSED(forward); }
  // The current frame at the video's own size, apart from anything the
  // view draws over it; null while there is none.
  virtual QImage snapshot() { return {}; }

  // The view's decision: the size (device pixels) it shows frames at, or an
  // empty size while it shows none (hidden, or sound only). Frames are then
  // taken as they come without being drawn.
  virtual void setFrameSize(const QSize& size) = 0;
  // The current video frame at the given size (device pixels), drawn only
  // when it is not drawn at that size already; a null image when no frame
  // is there yet.
  virtual QImage renderFrame(const QSize& size) = 0;

  // Draws the current video frame straight into the caller's RGB32 pixels
  // (size in device pixels, stride in bytes), sparing an image and a copy.
  // False when this engine cannot, or has no frame: the caller then draws
  // renderFrame's image.
  virtual bool renderInto(uchar* pixels, const QSize& size, qsizetype stride) {
    Q_UNUSED(pixels);
    Q_UNUSED(size);
    Q_UNUSED(stride);
    return false;
  }

 signals:
  // A new frame is ready. A view that draws during this signal, with
  // renderFrame or renderInto (a synchronous repaint), takes the frame; else
  // the engine draws it at once at the frame size (or takes it undrawn while
  // that is empty), since libmpv holds playback until each frame is taken.
  // A view that repaints later gets that drawn frame from renderFrame; its
  // renderInto then copies it.
  void frameAvailable();
  void status(quillet::player::MediaEngine::StreamStatus status);
  void videoSizeChanged(QSize size);
  void durationChanged(double seconds);
  void pausedChanged(bool paused);
  void endOfStream();  // the stream played to its end and waits there, paused
  void titleChanged();
  // The position moved while paused: a frame step or a seek landed.
  void positionChanged();
};

// A libmpv engine, or null when libmpv cannot be initialised.
std::unique_ptr<MediaEngine> createMpvEngine(QObject* parent = nullptr);

}  // namespace quillet::player
