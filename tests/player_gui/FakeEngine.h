#pragma once
// A media engine that records what the player asks of it and reports
// whatever the test tells it to, so the surface can be driven step by step.

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "player/engine/MediaEngine.h"

namespace quillet::player::testing {

class FakeEngine : public MediaEngine {
 public:
  // Every call, in order, as "open(address,paused,start)", "play", "pause",
  // "seek(s)", "volume(n)", "muted(b)".
  QStringList calls;
  std::vector<QSize> renderSizes;
  // Every frame size the view announced, in order.
  std::vector<QSize> frameSizes;

  bool paused = true;
  double positionSeconds = 0;
  double durationSeconds = 0;
  double loaded = 1.0;
  double seekable = 0;
  double start = 0;  // the last open()'s start
  QSize size;
  KeyframeIndex index;
  QString titleText;
  QColor frameColour = QColor(255, 0, 0);
  // Frames drawn straight into the caller's pixels, when switched on.
  bool drawsInto = false;
  std::vector<QSize> directSizes;

  void open(const QString& address, bool startPaused, double startSeconds) override {
    calls << QStringLiteral("open(%1,%2,%3)")
                 .arg(address, startPaused ? QStringLiteral("paused") : QStringLiteral("playing"))
                 .arg(startSeconds);
    paused = startPaused;
    start = startSeconds;
  }
  void play() override {
    calls << QStringLiteral("play");
    paused = false;
  }
  void pause() override {
    calls << QStringLiteral("pause");
    paused = true;
  }
  void seek(double seconds) override {
    calls << QStringLiteral("seek(%1)").arg(seconds);
    positionSeconds = seconds;
  }
  void setVolume(int percent) override { calls << QStringLiteral("volume(%1)").arg(percent); }
  void setMuted(bool muted) override {
    calls << QStringLiteral("muted(%1)")
                 .arg(muted ? QStringLiteral("true") : QStringLiteral("false"));
  }

  bool isPaused() const override { return paused; }
  double position() const override { return positionSeconds; }
  double duration() const override { return durationSeconds; }
  double loadedFraction() const override { return loaded; }
  double seekableSeconds() const override { return seekable; }
  double streamStart() const override { return start; }
  QSize videoSize() const override { return size; }
  KeyframeIndex keyframes() const override { return index; }
  QString title() const override { return titleText; }

  void setFrameSize(const QSize& s) override { frameSizes.push_back(s); }
  QImage renderFrame(const QSize& s) override {
    renderSizes.push_back(s);
    QImage image(s, QImage::Format_RGB32);
    image.fill(frameColour);
    return image;
  }

  bool renderInto(uchar* pixels, const QSize& s, qsizetype stride) override {
    if (!drawsInto) return false;
    directSizes.push_back(s);
    for (int y = 0; y < s.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(pixels + y * stride);
      std::fill(row, row + s.width(), frameColour.rgb());
    }
    return true;
  }

  // Calls that change what plays (everything but the volume set at load).
  QStringList playbackCalls() const {
    QStringList out;
    for (const QString& c : calls) {
      if (!c.startsWith(QLatin1String("volume")) && !c.startsWith(QLatin1String("muted"))) out << c;
    }
    return out;
  }
};

}  // namespace quillet::player::testing
