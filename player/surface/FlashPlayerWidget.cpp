#include "player/surface/FlashPlayerWidget.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QToolTip>
#include <QWindow>
#include <utility>

#include "player/movie/FlashVars.h"
#include "player/movie/MovieFile.h"
#include "player/movie/MovieSettings.h"
#include "player/surface/ControlBar.h"
#include "player/surface/PlayerAccessible.h"

namespace quillet::player {

FlashPlayerWidget::FlashPlayerWidget(std::unique_ptr<MediaEngine> engine, EngineFactory makeEngine,
                                     QWidget* parent)
    : QWidget(parent), session_(std::move(engine), std::move(makeEngine)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  // Clicks and a new video give the picture the focus; Tab keeps walking
  // the window's own controls.
  setFocusPolicy(Qt::ClickFocus);
  installPlayerAccessibility();
  createControl();
  addShortcuts();
  connectSession();
  setUpNotes();
  setUpSeekPreview();
  setUpResume();
  relayout();
}

FlashPlayerWidget::~FlashPlayerWidget() {
  // The session and its engine are destroyed after this body: nothing they
  // report may reach a half-destroyed widget.
  keepPlace();
  session_.disconnect(this);
  preview_.disconnect(this);
}

void FlashPlayerWidget::connectSession() {
  connect(&session_, &PlaybackSession::barChanged, this, [this] {
    update(chromeRect());
    notifyPlayback();
  });
  connect(&session_, &PlaybackSession::stageChanged, this, [this] {
    update();
    notifyPlayback();
  });
  connect(&session_, &PlaybackSession::bufferingChanged, this,
          [this] { update(layout().loadIndicator); });
  // Painted now, while the engine waits, so that the frame can go straight
  // into the window's pixels (see paintEvent).
  connect(&session_, &PlaybackSession::frameReady, this, [this] { repaint(layout().video); });
  connect(&session_, &PlaybackSession::videoSizeChanged, this, [this] {
    relayout();
    update();
  });
  connect(&session_, &PlaybackSession::titleChanged, this, &FlashPlayerWidget::notifyPlayback);
  connect(&session_, &PlaybackSession::seeked, this, [this](double seconds) {
    emit playback_->seeked(seconds);
    announcePlayerChanges(*this, true);
  });
  // Kept even when it arrives after the first play, which hides it.
  connect(&preview_, &PreviewLoader::loaded, this, [this](const QImage& picture) {
    if (!movie_) return;
    movie_->preview = picture;
    update();
  });
}

// ---- Control properties ---------------------------------------------------

void FlashPlayerWidget::setBgColor(const QString& colour) {
  bgColorText_ = colour;
  if (auto c = hexColour(colour)) {
    stageColour_ = *c;
    update();
  }
}

void FlashPlayerWidget::setBackgroundColor(int rgb) {
  backgroundColor_ = rgb;
  // A negative value asks for the movie's own background, which is white.
  stageColour_ = rgb < 0 ? QColor(Qt::white) : QColor::fromRgb(static_cast<QRgb>(rgb) & 0xffffff);
  update();
}

// ---- Loading ----------------------------------------------------------------

void FlashPlayerWidget::LoadMovie(int layer, const QString& path) {
  if (layer != 0) return;
  preview_.cancel();
  keepPlace();
  place_.reset();
  dropResumeOffer();
  session_.unload();
  movie_.reset();
  seekPreview_.setVideo({});
  if (readPlayerMovie(path)) {
    const MovieSettings settings = MovieSettings::read(FlashVars::parse(flashVars_));
    movie_.emplace();
    if (!settings.previewAddress.isEmpty()) preview_.load(settings.previewAddress);
    session_.start(settings);
    if (!isHttpAddress(settings.source)) seekPreview_.setVideo(localFilePath(settings.source));
    startResume();
    // A hidden player gets it when its window is next active.
    if (session_.streamOpen()) setFocus(Qt::OtherFocusReason);
  }
  relayout();
  update();
  notifyPlayback();
}

void FlashPlayerWidget::relayout() {
  layout_ = layoutStage(size(), session_.videoSize(), session_.settings().screenButtons);
  updateFrameSize();
}

const StageLayout& FlashPlayerWidget::layout() const {
  // A hidden widget gets its resize event only when shown; its size counts
  // at once.
  if (layout_.stage.size() != size())
    layout_ = layoutStage(size(), session_.videoSize(), session_.settings().screenButtons);
  return layout_;
}

void FlashPlayerWidget::updateFrameSize() {
  // Frames are drawn only for a player that shows a picture; a hidden one
  // lets them pass undrawn, which keeps playback going at no cost.
  const bool shows = onScreen_ && isVisible() && movie_ && !session_.settings().audioOnly;
  const QRect video = layout().video;
  session_.setFrameSize(
      shows && !video.isEmpty() ? (QSizeF(video.size()) * devicePixelRatioF()).toSize() : QSize());
}

void FlashPlayerWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
  update();
}

void FlashPlayerWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  onScreen_ = true;
  updateFrameSize();
}

void FlashPlayerWidget::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // Also when the window is minimised: Qt then sends a spontaneous hide
  // while isVisible() stays true.
  onScreen_ = false;
  updateFrameSize();
}

// ---- What the user does ---------------------------------------------------

void FlashPlayerWidget::switchScreen(bool full) {
  // The buttons swap and the bar hides or shows at once; the host resizes
  // the component in answer, possibly before emit returns.
  movie_->fullScreen = full;
  movie_->barShownInFullScreen = false;
  // The rest of the window is hidden in full screen, its focused button too.
  if (full) setFocus(Qt::OtherFocusReason);
  update();
  emit FSCommand(QStringLiteral("screen"),
                 full ? QStringLiteral("full") : QStringLiteral("normal"));
}

void FlashPlayerWidget::setBarShownInFullScreen(bool shown) {
  if (shown == movie_->barShownInFullScreen) return;
  movie_->barShownInFullScreen = shown;
  update(chromeRect().united(layout().bar.shadow));
}

void FlashPlayerWidget::mousePressEvent(QMouseEvent* event) {
  if (!movie_ || event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  const BarLayout& bar = layout().bar;
  if (resumeOffer_ && noteRect().contains(pos)) {
    takeResumeOffer();
    return;
  }
  if (barVisible() && bar.progress.contains(pos)) {
    if (session_.canPlay() && session_.duration() > 0) {
      movie_->drag = Drag::Seek;
      movie_->dragFraction = progressFractionAt(bar.progress, pos.x());
      update(chromeRect());
    }
    return;
  }
  if (barVisible() && bar.volume.contains(pos)) {
    movie_->drag = Drag::Volume;
    playback_->setVolume(volumeAt(bar.volume, pos.x()));
    return;
  }
  movie_->pressed = buttonAt(pos);
}

void FlashPlayerWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!movie_) return;
  const QPoint pos = event->position().toPoint();
  const BarLayout& bar = layout().bar;
  if (movie_->fullScreen) {
    setBarShownInFullScreen(movie_->drag != Drag::None ||
                            (rect().contains(pos) && pos.y() >= bar.bar.top()));
  }
  if (movie_->drag == Drag::Seek) {
    movie_->dragFraction = progressFractionAt(bar.progress, pos.x());
    session_.scrubTo(movie_->dragFraction * session_.duration());
    update(chromeRect());
  } else if (movie_->drag == Drag::Volume) {
    playback_->setVolume(volumeAt(bar.volume, pos.x()));
  }
  followSeekPreview(pos);
  const bool clickable =
      buttonAt(pos) || (barVisible() && (bar.progress.contains(pos) || bar.volume.contains(pos)));
  if (clickable) {
    setCursor(Qt::PointingHandCursor);
  } else {
    unsetCursor();
  }
}

void FlashPlayerWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (!movie_ || event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  const Drag drag = std::exchange(movie_->drag, Drag::None);
  if (drag == Drag::Seek) {
    const double fraction = progressFractionAt(layout().bar.progress, pos.x());
    playback_->seekTo(fraction * session_.duration());
    followSeekPreview(pos);
    return;
  }
  if (drag == Drag::Volume) return;
  const auto pressed = std::exchange(movie_->pressed, std::nullopt);
  // A button acts when released over the place it was pressed on.
  if (!pressed || buttonAt(pos) != pressed) return;
  switch (*pressed) {
    case Part::Play:
    case Part::ClickArea:
      playback_->play();
      break;
    case Part::Pause:
      playback_->pause();
      break;
    case Part::Mute:
      playback_->setMuted(!session_.isMuted());
      break;
    case Part::Full:
      playback_->toggleFullScreen();
      break;
    case Part::Normal:
      playback_->leaveFullScreen();
      break;
    default:
      break;
  }
}

bool FlashPlayerWidget::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  const PartToolTip tip = partToolTip(*this, help->pos());
  if (tip.text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), tip.text, this, tip.area);
  }
  return true;
}

void FlashPlayerWidget::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (movie_ && movie_->fullScreen && movie_->drag == Drag::None) setBarShownInFullScreen(false);
  if (!movie_ || movie_->drag != Drag::Seek) followSeekPreview(QPoint(-1, -1));
}

// ---- Drawing ----------------------------------------------------------------

// A frame can be drawn into the window's backing store directly when the
// whole rectangle is being painted, nothing covers it, it lies within the
// window, and the store is an image of opaque 32-bit pixels at one device
// pixel per pixel.
uchar* FlashPlayerWidget::storePixels(QPainter& p, const QRegion& painting, const QRect& r,
                                      qsizetype* stride) const {
  QBackingStore* store = window()->backingStore();
  if (!store || p.paintEngine()->paintDevice() != store->paintDevice() ||
      devicePixelRatioF() != 1.0 || !(QRegion(r) - painting).isEmpty() ||
      !(QRegion(r) - visibleRegion()).isEmpty())
    return nullptr;
  auto* image = static_cast<QImage*>(store->paintDevice());
  if (image->devType() != QInternal::Image) return nullptr;
  // The frame's fourth byte is not an alpha value. X drops it from an opaque
  // window, which Qt backs with a premultiplied image for faster blending.
  const bool opaqueX = QGuiApplication::platformName() == QLatin1String("xcb") &&
                       window()->windowHandle() && !window()->windowHandle()->format().hasAlpha();
  if (image->format() != QImage::Format_RGB32 &&
      !(image->format() == QImage::Format_ARGB32_Premultiplied && opaqueX))
    return nullptr;
  const QRect inStore(mapTo(window(), r.topLeft()), r.size());
  if (!image->rect().contains(inStore)) return nullptr;
  *stride = image->bytesPerLine();
  return image->bits() + inStore.y() * *stride + inStore.x() * 4;
}

void FlashPlayerWidget::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  const QRect video = layout().video;
  QRegion background = event->region();
  if (movie_ && !video.isEmpty() && video.intersects(event->rect())) {
    const qreal dpr = devicePixelRatioF();
    const QSize device = (QSizeF(video.size()) * dpr).toSize();
    qsizetype stride = 0;
    uchar* pixels = storePixels(p, event->region(), video, &stride);
    if (pixels && session_.frameInto(pixels, device, stride)) {
      background -= video;
    } else if (QImage frame = session_.frame(device); !frame.isNull()) {
      frame.setDevicePixelRatio(dpr);
      p.drawImage(video, frame);
      // The frame covers its rectangle: only the rest needs the stage colour.
      background -= video;
    }
  }
  for (const QRect& r : background) p.fillRect(r, stageColour_);
  if (!movie_) return;

  p.setRenderHint(QPainter::Antialiasing);
  if (isShown(Part::Preview)) p.drawImage(partRect(Part::Preview), movie_->preview);
  if (isShown(Part::PlaySymbol)) paintPlaySymbol(p, layout().playSymbol);
  if (isShown(Part::Load)) paintLoadIndicator(p, layout().loadIndicator);
  if (barVisible()) {
    const MovieSettings& s = session_.settings();
    const BarLook look{.front = s.front,
                       .back = s.back,
                       .shadow = s.shadow,
                       .screenButtons = s.screenButtons,
                       .playing = session_.playing(),
                       .muted = session_.isMuted(),
                       .fullScreen = movie_->fullScreen,
                       .loadedFraction = session_.loadedFraction(),
                       .playedFraction = playedFraction(),
                       .volume = session_.volume(),
                       .time = displayedTime()};
    paintControlBar(p, layout().bar, look, event->rect());
  }
  if (barVisible() && seekPreview_.shown()) paintSeekPreview(p);
  if (isShown(Part::Message)) paintMessage(p, layout().stage, errorMessage());
  if (!note_.isEmpty()) paintNote(p);
  // In full screen nothing else can have the focus, and the picture is
  // left whole.
  if (hasFocus() && !inFullScreenState() && event->rect().intersects(focusRingRect()))
    paintFocusRing(p);
}

// ---- Keyboard focus -------------------------------------------------------

QRect FlashPlayerWidget::focusRingRect() const {
  // Around the picture, above the bar, which draws its own parts.
  return movie_ ? layout().aboveBar : rect();
}

void FlashPlayerWidget::paintFocusRing(QPainter& p) const {
  const QRect ring = focusRingRect();
  if (ring.width() < 8 || ring.height() < 8) return;
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
  p.drawRect(QRectF(ring).adjusted(1, 1, -1, -1));
}

void FlashPlayerWidget::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update(focusRingRect());
}

void FlashPlayerWidget::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update(focusRingRect());
}

}  // namespace quillet::player
