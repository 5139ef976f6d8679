#pragma once
// The player component's widget: the control's properties and LoadMovie, and,
// once a valid player movie is loaded, the player that movie describes — the
// video above a 27-pixel control bar, the overlays, and the "FSCommand"
// requests for full screen. Media goes through a MediaEngine; every playback
// command goes through its PlaybackControl.

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringView>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "player/FlashVars.h"
#include "player/Layout.h"
#include "player/MediaEngine.h"
#include "player/PlaybackControl.h"

class QNetworkAccessManager;
class QNetworkReply;
class QPainter;

namespace quillet::player {

class FlashPlayerWidget : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString WMode READ wMode WRITE setWMode)
  Q_PROPERTY(QString FlashVars READ flashVars WRITE setFlashVars)
  Q_PROPERTY(QString BGColor READ bgColor WRITE setBgColor)
  Q_PROPERTY(bool Menu READ menu WRITE setMenu)
  Q_PROPERTY(QString Quality2 READ quality2 WRITE setQuality2)
  Q_PROPERTY(int BackgroundColor READ backgroundColor WRITE setBackgroundColor)

 public:
  // The movie's parts, by their instance names (see partName), plus the
  // preview image.
  enum class Part {
    Bar,         // mc_bar
    Base,        // mc_base
    Shadow,      // mc_sombra
    Play,        // b_play
    Pause,       // b_pause
    Progress,    // mc_progreso
    Display,     // display
    Volume,      // mc_volumen
    Full,        // b_full
    Normal,      // b_normal
    Screen,      // mc_screen
    Video,       // mc_video
    PlaySymbol,  // mc_play
    ClickArea,   // mc_boton
    Load,        // mc_load
    Message,     // mc_mensaje
    Mute,        // the mute toggle of mc_volumen
    Preview,     // the jpg preview
  };

  using EngineFactory = std::function<std::unique_ptr<MediaEngine>()>;

  // Plays through engine; without one, makes one with makeEngine when it
  // first has something to play (an idle player then costs no engine).
  explicit FlashPlayerWidget(std::unique_ptr<MediaEngine> engine, EngineFactory makeEngine = {},
                             QWidget* parent = nullptr);
  ~FlashPlayerWidget() override;

  // Layer 0 replaces the current movie by the one at path; the FlashVars set
  // before this call are the ones it reads. Other layers are not supported
  // and are left alone.
  Q_INVOKABLE void LoadMovie(int layer, const QString& path);

  QString wMode() const { return wMode_; }
  void setWMode(const QString& mode) { wMode_ = mode; }
  QString flashVars() const { return flashVars_; }
  void setFlashVars(const QString& vars) { flashVars_ = vars; }
  QString bgColor() const { return bgColorText_; }
  void setBgColor(const QString& colour);
  bool menu() const { return menu_; }
  void setMenu(bool on) { menu_ = on; }
  QString quality2() const { return quality_; }
  void setQuality2(const QString& quality) { quality_ = quality; }
  int backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(int rgb);

  QSize sizeHint() const override { return {400, 300}; }

  // Where the bar, the keys, the wheel and the desktop's media controls send
  // their commands.
  PlaybackControl& playback() const;

  // Read-only inspection of what the player shows.
  bool movieLoaded() const { return movie_.has_value(); }
  bool isShown(Part part) const;
  QRect partRect(Part part) const;
  QString displayedTime() const;
  int volume() const { return volume_; }
  bool isMuted() const { return muted_; }
  bool inFullScreenState() const { return fullScreen_; }
  double playedFraction() const;
  double loadedFraction() const { return loadedFraction_; }
  double duration() const { return duration_; }
  bool isRefreshing() const { return refreshTimer_.isActive(); }
  QColor stageColour() const { return stageColour_; }
  static QString partName(Part part);
  static std::optional<Part> partByName(QStringView name);

 signals:
  void FSCommand(const QString& command, const QString& args);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  class Playback;  // PlayerPlayback.cpp
  void createPlayback();

  // What one loaded movie knows, from its FlashVars.
  struct Movie {
    FlashVars vars;
    QString source;  // the flv or mp3 to play; empty when nothing is played
    bool audioOnly = false;
    std::optional<QString> vseek;
    std::optional<double> durationOverride;
    bool screenButtons = true;
    bool shadow = true;
    QColor front, back;
    QImage preview;
  };
  enum class Drag { None, Seek, Volume };

  void connectEngine();
  bool ensureEngine();
  void unloadMovie();
  void startMovie(const QString& vars);
  void loadPreview(const QString& address);
  void relayout();
  const StageLayout& layout() const;
  bool barVisible() const;
  QRect chromeRect() const;
  uchar* storePixels(QPainter& p, const QRegion& painting, const QRect& r, qsizetype* stride) const;

  void playPressed();
  void pausePressed();
  void stopPressed();
  void seekTo(double fraction);
  void seekToSeconds(double target);
  void setVolumeFromSlider(int x);
  void setVolumePercent(int percent);
  void setMutedTo(bool muted);
  void toggleMute();
  void switchScreen(bool full);

  // Keys and the wheel (PlayerInput.cpp).
  void addShortcuts();
  // Tells the playback's listeners what changed since they last heard.
  void notifyPlayback();

  void onFrame();
  void onStatus(MediaEngine::StreamStatus status);
  void onPausedChanged(bool paused);
  void onEndOfStream();
  void onDurationChanged(double seconds);
  void onVideoSizeChanged(QSize size);
  void refresh();
  void updateRefreshTimer();
  void showLoad(bool show);

  std::optional<Part> buttonAt(QPoint pos) const;
  void paintBar(QPainter& p, const QRect& dirty) const;

  std::unique_ptr<MediaEngine> engine_;
  EngineFactory makeEngine_;

  // Control properties.
  QString wMode_, flashVars_, bgColorText_, quality_;
  bool menu_ = true;
  int backgroundColor_ = -1;
  QColor stageColour_ = Qt::white;

  // The running player; nothing while no valid movie is loaded.
  std::optional<Movie> movie_;
  bool streamOpen_ = false;
  bool started_ = false;  // the first play happened
  bool stopped_ = false;  // stopped: back at the start, waiting for play
  bool playing_ = false;
  bool atEnd_ = false;
  bool loadShown_ = false;
  bool errorShown_ = false;
  bool fullScreen_ = false;
  bool barShownInFullScreen_ = false;
  int volume_ = 75;
  bool muted_ = false;
  double position_ = 0;
  double duration_ = 0;
  double loadedFraction_ = 0;
  double streamStart_ = 0;  // where the open stream's time begins (a reopen)
  double lastTickPosition_ = -1;
  QSize videoSize_;
  mutable StageLayout layout_;  // follows size() as soon as it is asked for

  Drag drag_ = Drag::None;
  double dragFraction_ = 0;
  std::optional<Part> pressed_;

  PlaybackControl* playback_ = nullptr;  // child
  quint64 videoNumber_ = 0;
  int wheelUnits_ = 0;  // wheel movement not yet a whole volume step

  QImage frame_;
  bool frameSeen_ = false;
  bool frameDirty_ = false;

  QTimer refreshTimer_;
  QNetworkAccessManager* network_ = nullptr;  // child; made for the first preview address
  QPointer<QNetworkReply> previewReply_;
};

}  // namespace quillet::player
