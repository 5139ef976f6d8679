#include "player/FlashPlayerWidget.h"

#include <QBackingStore>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImageReader>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "player/FlvMetadata.h"
#include "player/MovieFile.h"
#include "player/TimeText.h"

namespace quillet::player {

namespace {

constexpr int kRefreshMilliseconds = 100;
constexpr int kDefaultVolume = 75;
// Preview images beyond this many pixels or bytes are not decoded.
constexpr qint64 kMaxPreviewPixels = 64LL * 1024 * 1024;
constexpr qint64 kMaxPreviewBytes = 16LL * 1024 * 1024;

// Tells one opened video from the next, across all players of the process.
quint64 nextVideoNumber() {
  static quint64 last = 0;
  return ++last;
}

// Six (or fewer) hexadecimal digits of an RGB colour, optionally after "#"
// or "0x".
std::optional<QColor> hexColour(QStringView text) {
  QStringView digits = text.trimmed();
  if (digits.startsWith(u'#')) {
    digits = digits.sliced(1);
  } else if (digits.startsWith(u"0x", Qt::CaseInsensitive)) {
    digits = digits.sliced(2);
  }
  if (digits.isEmpty() || digits.size() > 6) return std::nullopt;
  QRgb rgb = 0;
  for (const QChar c : digits) {
    const int v = QChar::isDigit(c.unicode()) ? c.unicode() - u'0'
                  : (c >= u'a' && c <= u'f')  ? c.unicode() - u'a' + 10
                  : (c >= u'A' && c <= u'F')  ? c.unicode() - u'A' + 10
                                              : -1;
    if (v < 0) return std::nullopt;
    rgb = (rgb << 4) | static_cast<QRgb>(v);
  }
  return QColor::fromRgb(rgb);
}

int parseVolume(const std::optional<QString>& text) {
  if (!text) return kDefaultVolume;
  bool ok = false;
  const double v = text->trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(v)) return kDefaultVolume;
  return static_cast<int>(std::lround(std::clamp(v, 0.0, 100.0)));
}

std::optional<double> parseSeconds(const std::optional<QString>& text) {
  if (!text) return std::nullopt;
  bool ok = false;
  const double v = text->trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(v) || v <= 0) return std::nullopt;
  return v;
}

// Decodes a preview picture; pictures too large to be a preview are refused.
QImage readPreview(QImageReader& reader) {
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (size.isValid() && qint64{size.width()} * size.height() > kMaxPreviewPixels) return {};
  return reader.read();
}

struct PartNameEntry {
  FlashPlayerWidget::Part part;
  const char16_t* name;
};
constexpr std::array<PartNameEntry, 18> kPartNames = {{
    {FlashPlayerWidget::Part::Bar, u"mc_bar"},
    {FlashPlayerWidget::Part::Base, u"mc_base"},
    {FlashPlayerWidget::Part::Shadow, u"mc_sombra"},
    {FlashPlayerWidget::Part::Play, u"b_play"},
    {FlashPlayerWidget::Part::Pause, u"b_pause"},
    {FlashPlayerWidget::Part::Progress, u"mc_progreso"},
    {FlashPlayerWidget::Part::Display, u"display"},
    {FlashPlayerWidget::Part::Volume, u"mc_volumen"},
    {FlashPlayerWidget::Part::Full, u"b_full"},
    {FlashPlayerWidget::Part::Normal, u"b_normal"},
    {FlashPlayerWidget::Part::Screen, u"mc_screen"},
    {FlashPlayerWidget::Part::Video, u"mc_video"},
    {FlashPlayerWidget::Part::PlaySymbol, u"mc_play"},
    {FlashPlayerWidget::Part::ClickArea, u"mc_boton"},
    {FlashPlayerWidget::Part::Load, u"mc_load"},
    {FlashPlayerWidget::Part::Message, u"mc_mensaje"},
    {FlashPlayerWidget::Part::Mute, u"mute"},
    {FlashPlayerWidget::Part::Preview, u"jpg"},
}};

}  // namespace

FlashPlayerWidget::FlashPlayerWidget(std::unique_ptr<MediaEngine> engine, EngineFactory makeEngine,
                                     QWidget* parent)
    : QWidget(parent), engine_(std::move(engine)), makeEngine_(std::move(makeEngine)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  // Clicks and a new video give the picture the focus; Tab keeps walking
  // the window's own controls.
  setFocusPolicy(Qt::ClickFocus);
  createPlayback();
  addShortcuts();
  refreshTimer_.setInterval(kRefreshMilliseconds);
  connect(&refreshTimer_, &QTimer::timeout, this, &FlashPlayerWidget::refresh);
  relayout();
  if (engine_) connectEngine();
}

void FlashPlayerWidget::connectEngine() {
  connect(engine_.get(), &MediaEngine::frameAvailable, this, &FlashPlayerWidget::onFrame);
  connect(engine_.get(), &MediaEngine::status, this, &FlashPlayerWidget::onStatus);
  connect(engine_.get(), &MediaEngine::pausedChanged, this, &FlashPlayerWidget::onPausedChanged);
  connect(engine_.get(), &MediaEngine::endOfStream, this, &FlashPlayerWidget::onEndOfStream);
  connect(engine_.get(), &MediaEngine::durationChanged, this,
          &FlashPlayerWidget::onDurationChanged);
  connect(engine_.get(), &MediaEngine::videoSizeChanged, this,
          &FlashPlayerWidget::onVideoSizeChanged);
  connect(engine_.get(), &MediaEngine::titleChanged, this, &FlashPlayerWidget::notifyPlayback);
}

bool FlashPlayerWidget::ensureEngine() {
  if (engine_) return true;
  if (!makeEngine_) return false;
  engine_ = makeEngine_();
  if (!engine_) return false;
  connectEngine();
  engine_->setVolume(volume_);
  engine_->setMuted(muted_);
  return true;
}

FlashPlayerWidget::~FlashPlayerWidget() {
  // The engine goes first so that none of its signals reaches a half-destroyed
  // widget.
  if (engine_) engine_->disconnect(this);
  engine_.reset();
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
  unloadMovie();
  if (readPlayerMovie(path)) startMovie(flashVars_);
  update();
  notifyPlayback();
}

void FlashPlayerWidget::unloadMovie() {
  if (streamOpen_) engine_->pause();
  if (previewReply_) previewReply_->abort();
  refreshTimer_.stop();
  movie_.reset();
  streamOpen_ = started_ = stopped_ = playing_ = atEnd_ = false;
  loadShown_ = errorShown_ = fullScreen_ = barShownInFullScreen_ = false;
  volume_ = kDefaultVolume;
  muted_ = false;
  position_ = duration_ = loadedFraction_ = streamStart_ = 0;
  lastTickPosition_ = -1;
  wheelUnits_ = 0;
  videoSize_ = {};
  drag_ = Drag::None;
  pressed_.reset();
  frame_ = {};
  frameSeen_ = frameDirty_ = false;
  relayout();
}

void FlashPlayerWidget::startMovie(const QString& varsText) {
  Movie m;
  m.vars = FlashVars::parse(varsText);
  const FlashVars vars = m.vars;
  m.screenButtons = vars.text(QStringLiteral("fullscreen")) != QLatin1String("false");
  m.shadow = vars.text(QStringLiteral("effect")) != QLatin1String("false");
  m.front = hexColour(vars.text(QStringLiteral("frontcolor"))).value_or(QColor(Qt::white));
  m.back = hexColour(vars.text(QStringLiteral("backcolor"))).value_or(QColor(Qt::black));
  m.durationOverride = parseSeconds(vars.value(QStringLiteral("NumVideoDuracion")));
  if (auto name = vars.value(QStringLiteral("vseek")); name && !name->isEmpty()) m.vseek = *name;
  volume_ = parseVolume(vars.value(QStringLiteral("volumen")));

  // "xml" stands for a playlist set-up of its own: the usual start-up
  // handling of jpg, autoplay and flv is skipped.
  bool wantsStream = false;
  QString previewAddress;
  if (!vars.contains(QStringLiteral("xml"))) {
    previewAddress = vars.text(QStringLiteral("jpg"));
    const QString mp3 = vars.text(QStringLiteral("mp3"));
    if (!mp3.isEmpty()) {
      m.source = mp3;
      m.audioOnly = true;
      wantsStream = true;
    } else if (vars.contains(QStringLiteral("flv")) || vars.contains(QStringLiteral("mp3"))) {
      m.source = vars.text(QStringLiteral("flv"));
      wantsStream = true;
    }
  }
  if (m.durationOverride) duration_ = *m.durationOverride;
  movie_ = std::move(m);
  if (!previewAddress.isEmpty()) loadPreview(previewAddress);

  if (engine_) {
    engine_->setVolume(volume_);
    engine_->setMuted(false);
  }
  if (wantsStream && (movie_->source.isEmpty() || !ensureEngine())) {
    // Nothing to look for, or nothing to play it with: the same outcome as a
    // stream that is not found.
    errorShown_ = true;
  } else if (wantsStream) {
    const bool autoplay = movie_->vars.text(QStringLiteral("autoplay")) == QLatin1String("true");
    engine_->open(movie_->source, !autoplay, 0);
    streamOpen_ = true;
    started_ = playing_ = autoplay;
    loadedFraction_ = std::clamp(engine_->loadedFraction(), 0.0, 1.0);
    videoNumber_ = nextVideoNumber();
    // A hidden player gets it when its window is next active.
    setFocus(Qt::OtherFocusReason);
  }
  relayout();
  updateRefreshTimer();
}

void FlashPlayerWidget::loadPreview(const QString& address) {
  const QUrl url(address);
  const QString scheme = url.scheme().toLower();
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
      scheme != QLatin1String("file")) {
    QImageReader reader(address);
    movie_->preview = readPreview(reader);
    return;
  }
  // Addresses are fetched in the background and shown when they arrive, if
  // the first play has not come first.
  if (!network_) network_ = new QNetworkAccessManager(this);
  QNetworkReply* reply = network_->get(QNetworkRequest(url));
  previewReply_ = reply;
  connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
    if (received > kMaxPreviewBytes) reply->abort();
  });
  connect(reply, &QNetworkReply::finished, this, [this, reply] {
    reply->deleteLater();
    if (reply != previewReply_ || !movie_ || reply->error() != QNetworkReply::NoError) return;
    QByteArray data = reply->read(kMaxPreviewBytes + 1);
    if (data.size() > kMaxPreviewBytes) return;
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    movie_->preview = readPreview(reader);
    update();
  });
}

void FlashPlayerWidget::relayout() {
  layout_ = layoutStage(size(), videoSize_, movie_ && movie_->screenButtons);
}

const StageLayout& FlashPlayerWidget::layout() const {
  // A hidden widget gets its resize event only when shown; its size counts
  // at once.
  if (layout_.stage.size() != size()) {
    layout_ = layoutStage(size(), videoSize_, movie_ && movie_->screenButtons);
  }
  return layout_;
}

void FlashPlayerWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
  update();
}

// ---- Inspection ---------------------------------------------------------------

bool FlashPlayerWidget::barVisible() const {
  return movie_ && (!fullScreen_ || barShownInFullScreen_);
}

bool FlashPlayerWidget::isShown(Part part) const {
  if (!movie_) return false;
  const bool bar = barVisible();
  switch (part) {
    case Part::Bar:
    case Part::Base:
    case Part::Progress:
    case Part::Display:
    case Part::Volume:
    case Part::Mute:
      return bar;
    case Part::Shadow:
      return bar && movie_->shadow;
    case Part::Play:
      return bar && !playing_;
    case Part::Pause:
      return bar && playing_;
    case Part::Full:
      return bar && movie_->screenButtons && !fullScreen_;
    case Part::Normal:
      return bar && movie_->screenButtons && fullScreen_;
    case Part::Screen:
      return true;
    case Part::Video:
      return !movie_->audioOnly;
    case Part::PlaySymbol:
    case Part::ClickArea:
      return !started_;
    case Part::Load:
      return loadShown_ && layout().loadFits && !errorShown_;
    case Part::Message:
      return errorShown_;
    case Part::Preview:
      return !started_ && !movie_->preview.isNull();
  }
  return false;
}

QRect FlashPlayerWidget::partRect(Part part) const {
  const BarLayout& b = layout().bar;
  switch (part) {
    case Part::Bar:
    case Part::Base:
      return b.bar;
    case Part::Shadow:
      return b.shadow;
    case Part::Play:
    case Part::Pause:
      return b.playPause;
    case Part::Progress:
      return b.progress;
    case Part::Display:
      return b.display;
    case Part::Volume:
      return b.volume;
    case Part::Mute:
      return b.mute;
    case Part::Full:
    case Part::Normal:
      return b.screenButton;
    case Part::Screen:
    case Part::ClickArea:
      return layout().aboveBar;
    case Part::Video:
      return layout().video;
    case Part::PlaySymbol:
      return layout().playSymbol;
    case Part::Load:
      return layout().loadIndicator;
    case Part::Message:
      return layout().stage;
    case Part::Preview:
      return movie_ && !movie_->preview.isNull()
                 ? fitVideo(layout().aboveBar, movie_->preview.size())
                 : QRect();
  }
  return {};
}

QString FlashPlayerWidget::displayedTime() const {
  // While the handle is dragged the time shows where it would go.
  return timeText(drag_ == Drag::Seek ? dragFraction_ * duration_ : position_);
}

double FlashPlayerWidget::playedFraction() const {
  if (drag_ == Drag::Seek) return dragFraction_;
  if (duration_ <= 0) return 0;
  return std::clamp(position_ / duration_, 0.0, 1.0);
}

QString FlashPlayerWidget::partName(Part part) {
  for (const auto& e : kPartNames) {
    if (e.part == part) return QString::fromUtf16(e.name);
  }
  return {};
}

std::optional<FlashPlayerWidget::Part> FlashPlayerWidget::partByName(QStringView name) {
  for (const auto& e : kPartNames) {
    if (name == QStringView(e.name)) return e.part;
  }
  return std::nullopt;
}

// ---- What the user does ---------------------------------------------------

void FlashPlayerWidget::playPressed() {
  if (!movie_ || !streamOpen_ || errorShown_) return;
  started_ = true;
  stopped_ = false;
  const bool restart = atEnd_;
  if (atEnd_) {
    // Play at the end starts again from the beginning.
    atEnd_ = false;
    position_ = 0;
    if (streamStart_ > 0) {
      streamStart_ = 0;
      engine_->open(movie_->source, false, 0);
    } else {
      engine_->seek(0);
      engine_->play();
    }
  } else {
    engine_->play();
  }
  playing_ = true;
  updateRefreshTimer();
  update();
  if (restart) emit playback_->seeked(0);
  notifyPlayback();
}

void FlashPlayerWidget::pausePressed() {
  if (!movie_ || !streamOpen_) return;
  engine_->pause();
  playing_ = false;
  updateRefreshTimer();
  update();
  notifyPlayback();
}

void FlashPlayerWidget::stopPressed() {
  if (!movie_ || !streamOpen_ || errorShown_) return;
  engine_->pause();
  playing_ = false;
  stopped_ = started_;
  updateRefreshTimer();
  update();
  if (duration_ > 0) seekToSeconds(0);
  notifyPlayback();
}

void FlashPlayerWidget::seekTo(double fraction) {
  playback_->seekTo(std::clamp(fraction, 0.0, 1.0) * duration_);
}

void FlashPlayerWidget::seekToSeconds(double seconds) {
  if (!movie_ || !streamOpen_ || errorShown_ || duration_ <= 0 || !std::isfinite(seconds)) return;
  const double target = std::clamp(seconds, 0.0, duration_);
  atEnd_ = false;
  // Stopped means back at the start: only a seek elsewhere ends it.
  if (target > 0) stopped_ = false;
  position_ = target;
  // With vseek, a place outside what the current stream holds is reached by
  // asking the server for the file from the key frame before it.
  const bool outside = target < streamStart_ || target > engine_->seekableSeconds();
  if (movie_->vseek && !movie_->audioOnly && outside) {
    if (auto key = keyframeAtOrBefore(engine_->keyframes(), target)) {
      streamStart_ = key->time;
      position_ = key->time;
      engine_->open(vseekAddress(movie_->source, *movie_->vseek, key->filePosition), !playing_,
                    key->time);
      update();
      emit playback_->seeked(position_);
      notifyPlayback();
      return;
    }
  }
  engine_->seek(target);
  update();
  emit playback_->seeked(target);
  notifyPlayback();
}

void FlashPlayerWidget::setVolumeFromSlider(int x) {
  playback_->setVolume(volumeAt(layout().bar.volume, x));
}

void FlashPlayerWidget::setVolumePercent(int percent) {
  const int v = std::clamp(percent, 0, 100);
  if (!movie_ || v == volume_) return;
  volume_ = v;
  if (engine_) engine_->setVolume(volume_);
  update(chromeRect());
  notifyPlayback();
}

void FlashPlayerWidget::setMutedTo(bool muted) {
  if (!movie_ || muted == muted_) return;
  muted_ = muted;
  if (engine_) engine_->setMuted(muted_);
  update(chromeRect());
  notifyPlayback();
}

void FlashPlayerWidget::toggleMute() {
  playback_->setMuted(!muted_);
}

void FlashPlayerWidget::switchScreen(bool full) {
  // The buttons swap and the bar hides or shows at once; the host resizes
  // the component in answer, possibly before emit returns.
  fullScreen_ = full;
  barShownInFullScreen_ = false;
  // The rest of the window is hidden in full screen, its focused button too.
  if (full) setFocus(Qt::OtherFocusReason);
  update();
  emit FSCommand(QStringLiteral("screen"),
                 full ? QStringLiteral("full") : QStringLiteral("normal"));
}

std::optional<FlashPlayerWidget::Part> FlashPlayerWidget::buttonAt(QPoint pos) const {
  if (!movie_) return std::nullopt;
  if (barVisible() && layout().bar.bar.contains(pos)) {
    for (Part p : {Part::Play, Part::Pause, Part::Mute, Part::Full, Part::Normal}) {
      if (isShown(p) && partRect(p).contains(pos)) return p;
    }
    return std::nullopt;
  }
  if (!started_ && layout().aboveBar.contains(pos)) return Part::ClickArea;
  return std::nullopt;
}

void FlashPlayerWidget::mousePressEvent(QMouseEvent* event) {
  if (!movie_ || event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  if (barVisible() && layout().bar.progress.contains(pos)) {
    if (streamOpen_ && !errorShown_ && duration_ > 0) {
      drag_ = Drag::Seek;
      dragFraction_ = progressFractionAt(layout().bar.progress, pos.x());
      update(chromeRect());
    }
    return;
  }
  if (barVisible() && layout().bar.volume.contains(pos)) {
    drag_ = Drag::Volume;
    setVolumeFromSlider(pos.x());
    return;
  }
  pressed_ = buttonAt(pos);
}

void FlashPlayerWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!movie_) return;
  const QPoint pos = event->position().toPoint();
  if (fullScreen_) {
    const bool below =
        drag_ != Drag::None || (rect().contains(pos) && pos.y() >= layout().bar.bar.top());
    if (below != barShownInFullScreen_) {
      barShownInFullScreen_ = below;
      update(chromeRect().united(layout().bar.shadow));
    }
  }
  if (drag_ == Drag::Seek) {
    dragFraction_ = progressFractionAt(layout().bar.progress, pos.x());
    const double target = dragFraction_ * duration_;
    // Scrub within what is loaded; anything that needs a reopen waits for
    // the release.
    if (target >= streamStart_ && target <= engine_->seekableSeconds()) engine_->seek(target);
    update(chromeRect());
  } else if (drag_ == Drag::Volume) {
    setVolumeFromSlider(pos.x());
  }
  const bool clickable =
      buttonAt(pos) ||
      (barVisible() && (layout().bar.progress.contains(pos) || layout().bar.volume.contains(pos)));
  if (clickable) {
    setCursor(Qt::PointingHandCursor);
  } else {
    unsetCursor();
  }
}

void FlashPlayerWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (!movie_ || event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  const Drag drag = std::exchange(drag_, Drag::None);
  if (drag == Drag::Seek) {
    seekTo(progressFractionAt(layout().bar.progress, pos.x()));
    return;
  }
  if (drag == Drag::Volume) return;
  const auto pressed = std::exchange(pressed_, std::nullopt);
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
      toggleMute();
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

void FlashPlayerWidget::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (fullScreen_ && drag_ == Drag::None && barShownInFullScreen_) {
    barShownInFullScreen_ = false;
    update(chromeRect().united(layout().bar.shadow));
  }
}

void FlashPlayerWidget::contextMenuEvent(QContextMenuEvent* event) {
  // The player movie hides every built-in item of the player's own menu, so
  // the player shows none, whatever Menu says and whatever it plays.
  event->ignore();
}

// ---- What the engine reports ------------------------------------------------

void FlashPlayerWidget::showLoad(bool show) {
  if (loadShown_ == show) return;
  loadShown_ = show;
  update(layout().loadIndicator);
}

void FlashPlayerWidget::onFrame() {
  if (!movie_ || !streamOpen_ || movie_->audioOnly) return;
  frameSeen_ = true;
  frameDirty_ = true;
  // Painted now, while the engine waits, so that the frame can go straight
  // into the window's pixels (see paintEvent).
  repaint(layout().video);
}

void FlashPlayerWidget::onStatus(MediaEngine::StreamStatus status) {
  if (!movie_ || !streamOpen_) return;
  using S = MediaEngine::StreamStatus;
  switch (status) {
    case S::PlayStart:
    case S::BufferEmpty:
      showLoad(true);
      break;
    case S::BufferFull:
      showLoad(false);
      break;
    case S::PlayStop:
      playing_ = false;
      atEnd_ = true;
      break;
    case S::StreamNotFound:
      errorShown_ = true;
      playing_ = false;
      showLoad(false);
      break;
  }
  refresh();
  updateRefreshTimer();
  update();
  notifyPlayback();
}

void FlashPlayerWidget::onPausedChanged(bool paused) {
  if (!movie_ || !streamOpen_ || errorShown_) return;
  if (playing_ == !paused) return;
  playing_ = !paused;
  refresh();
  updateRefreshTimer();
  update(chromeRect());
  notifyPlayback();
}

void FlashPlayerWidget::onEndOfStream() {
  if (!movie_ || !streamOpen_) return;
  playing_ = false;
  atEnd_ = true;
  showLoad(false);
  refresh();
  updateRefreshTimer();
  update(chromeRect());
  notifyPlayback();
}

void FlashPlayerWidget::onDurationChanged(double seconds) {
  if (!movie_ || movie_->durationOverride) return;
  duration_ = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
  update(chromeRect());
  notifyPlayback();
}

void FlashPlayerWidget::onVideoSizeChanged(QSize size) {
  if (!movie_) return;
  videoSize_ = size;
  relayout();
  update();
}

void FlashPlayerWidget::refresh() {
  if (!movie_ || !streamOpen_) return;
  const double position = engine_->position();
  if (std::isfinite(position)) position_ = std::max(0.0, position);
  const double loaded = engine_->loadedFraction();
  if (std::isfinite(loaded)) loadedFraction_ = std::clamp(loaded, 0.0, 1.0);
  if (!movie_->durationOverride) {
    const double d = engine_->duration();
    if (std::isfinite(d) && d > 0) duration_ = d;
  }
  // Time that moves means the stream is playing, not waiting for data.
  if (playing_ && lastTickPosition_ >= 0 && position_ != lastTickPosition_) showLoad(false);
  lastTickPosition_ = position_;
  updateRefreshTimer();
  update(chromeRect());
  notifyPlayback();
}

void FlashPlayerWidget::updateRefreshTimer() {
  // Only while something moves: a paused, fully loaded player stays idle.
  const bool wanted = movie_ && streamOpen_ && !errorShown_ && (playing_ || loadedFraction_ < 1.0);
  if (wanted && !refreshTimer_.isActive()) {
    lastTickPosition_ = -1;
    refreshTimer_.start();
  } else if (!wanted && refreshTimer_.isActive()) {
    refreshTimer_.stop();
  }
}

QRect FlashPlayerWidget::chromeRect() const {
  // The shadow over the picture stays as it is while the bar changes, and
  // leaving it out spares drawing the picture again.
  return layout().bar.bar;
}

// ---- Drawing ----------------------------------------------------------------

// The pixels of the window's backing store under the rectangle, when a frame
// can be drawn there directly: the whole rectangle is being painted, nothing
// covers it, it lies within the window, and the store is an image of opaque
// 32-bit pixels at one device pixel per pixel.
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
  if (movie_ && !movie_->audioOnly && frameSeen_ && !video.isEmpty() &&
      video.intersects(event->rect())) {
    const qreal dpr = devicePixelRatioF();
    const QSize device = (QSizeF(video.size()) * dpr).toSize();
    qsizetype stride = 0;
    if (frameDirty_ || frame_.size() != device) {
      // A new frame goes straight into the window's pixels where it can;
      // the image of the last one is no longer needed then.
      uchar* pixels = storePixels(p, event->region(), video, &stride);
      if (pixels && engine_->renderInto(pixels, device, stride)) {
        frame_ = {};
        frameDirty_ = false;
        background -= video;
      } else {
        QImage rendered = engine_->renderFrame(device);
        if (!rendered.isNull()) frame_ = std::move(rendered);
        frameDirty_ = false;
      }
    }
    if (!frame_.isNull()) {
      frame_.setDevicePixelRatio(dpr);
      p.drawImage(video, frame_);
      // The frame covers its rectangle: only the rest needs the stage colour.
      background -= video;
    }
  }
  for (const QRect& r : background) p.fillRect(r, stageColour_);
  if (!movie_) return;

  p.setRenderHint(QPainter::Antialiasing);
  if (isShown(Part::Preview)) {
    p.drawImage(partRect(Part::Preview), movie_->preview);
  }
  if (isShown(Part::PlaySymbol) && !layout().playSymbol.isEmpty()) {
    const QRectF r = layout().playSymbol;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 140));
    p.drawEllipse(r);
    const qreal s = r.width();
    QPainterPath triangle;
    triangle.moveTo(r.left() + s * 0.38, r.top() + s * 0.27);
    triangle.lineTo(r.left() + s * 0.75, r.top() + s * 0.5);
    triangle.lineTo(r.left() + s * 0.38, r.top() + s * 0.73);
    triangle.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(triangle);
  }
  if (isShown(Part::Load)) {
    const QRectF r = QRectF(layout().loadIndicator).adjusted(4, 4, -4, -4);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 90), 4));
    p.drawEllipse(r);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(r, 90 * 16, -100 * 16);
  }
  if (barVisible()) paintBar(p, event->rect());
  if (isShown(Part::Message)) {
    p.fillRect(layout().stage, QColor(0, 0, 0, 215));
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    p.drawText(layout().stage, Qt::AlignCenter | Qt::TextWordWrap, tr("Video not found"));
  }
}

void FlashPlayerWidget::paintBar(QPainter& p, const QRect& dirty) const {
  const BarLayout& b = layout().bar;
  const QColor front = movie_->front;
  QColor faint = front;
  faint.setAlpha(70);
  QColor half = front;
  half.setAlpha(140);

  if (movie_->shadow) {
    QLinearGradient shade(0, b.shadow.top(), 0, b.shadow.bottom() + 1);
    shade.setColorAt(0, QColor(0, 0, 0, 0));
    shade.setColorAt(1, QColor(0, 0, 0, 110));
    if (b.shadow.intersects(dirty)) p.fillRect(b.shadow, shade);
  }
  // A new video frame repaints only the picture (and the shadow over it):
  // the bar itself is drawn when it changes.
  if (!b.bar.intersects(dirty)) return;
  p.fillRect(b.bar, movie_->back);

  p.setPen(Qt::NoPen);
  p.setBrush(front);
  const QRectF pp = b.playPause;
  if (playing_) {
    p.drawRect(QRectF(pp.left() + 5, pp.top() + 4, 3.5, pp.height() - 8));
    p.drawRect(QRectF(pp.right() - 7.5, pp.top() + 4, 3.5, pp.height() - 8));
  } else {
    QPainterPath triangle;
    triangle.moveTo(pp.left() + 5, pp.top() + 3.5);
    triangle.lineTo(pp.right() - 3, pp.center().y());
    triangle.lineTo(pp.left() + 5, pp.bottom() - 3.5);
    triangle.closeSubpath();
    p.drawPath(triangle);
  }

  if (!b.progress.isEmpty()) {
    p.fillRect(progressTrack(b.progress), faint);
    p.fillRect(progressFilled(b.progress, loadedFraction_), half);
    p.fillRect(progressFilled(b.progress, playedFraction()), front);
    p.fillRect(progressHandle(b.progress, playedFraction()), front);
  }

  p.setPen(front);
  QFont font = p.font();
  font.setPixelSize(11);
  p.setFont(font);
  p.drawText(b.display, Qt::AlignCenter, displayedTime());

  // The mute toggle: a loudspeaker, crossed out while muted.
  const QRectF m = b.mute;
  const qreal cy = m.center().y();
  QPainterPath speaker;
  speaker.moveTo(m.left() + 1, cy - 2.5);
  speaker.lineTo(m.left() + 4, cy - 2.5);
  speaker.lineTo(m.left() + 8, cy - 6);
  speaker.lineTo(m.left() + 8, cy + 6);
  speaker.lineTo(m.left() + 4, cy + 2.5);
  speaker.lineTo(m.left() + 1, cy + 2.5);
  speaker.closeSubpath();
  p.setPen(Qt::NoPen);
  p.drawPath(speaker);
  p.setPen(QPen(front, 1.5));
  if (muted_) {
    p.drawLine(QPointF(m.left() + 10, cy - 3), QPointF(m.left() + 15, cy + 3));
    p.drawLine(QPointF(m.left() + 10, cy + 3), QPointF(m.left() + 15, cy - 3));
  } else {
    p.drawArc(QRectF(m.left() + 6, cy - 4, 6, 8), -60 * 16, 120 * 16);
  }

  p.fillRect(volumeFilled(b.volume, 100), faint);
  p.fillRect(volumeFilled(b.volume, volume_), front);

  if (movie_->screenButtons && !b.screenButton.isEmpty()) {
    const QRectF s = QRectF(b.screenButton).adjusted(2.5, 3.5, -2.5, -3.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(front, 1.5));
    p.drawRect(s);
    if (fullScreen_) {
      // Normal size: a smaller window inside the frame.
      p.fillRect(QRectF(s.left() + 2.5, s.top() + 2.5, s.width() / 2, s.height() / 2), front);
    } else {
      p.fillRect(s.adjusted(2.5, 2.5, -2.5, -2.5), half);
    }
  }
}

}  // namespace quillet::player
