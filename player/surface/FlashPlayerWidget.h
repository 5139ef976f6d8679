#pragma once
// The player component's widget: the control's properties and LoadMovie, and,
// once a valid player movie is loaded, the player that movie describes — the
// video above a 27-pixel control bar, the overlays, and the "FSCommand"
// requests for full screen. It is the face: it routes the pointer, the keys
// and the engine's news, and paints. The movie's playback lives in its
// PlaybackSession; every playback command goes through its PlaybackControl.

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

#include "player/PlaybackControl.h"
#include "player/engine/MediaEngine.h"
#include "player/engine/PlaybackSession.h"
#include "player/movie/PartNames.h"
#include "player/movie/PreviewLoader.h"
#include "player/surface/Layout.h"
#include "player/surface/SeekPreview.h"

class QPainter;
class QShortcut;

namespace quillet::player {

class FlashPlayerWidget : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString WMode MEMBER wMode_)
  Q_PROPERTY(QString FlashVars MEMBER flashVars_)
  Q_PROPERTY(QString BGColor MEMBER bgColorText_ WRITE setBgColor)
  // Kept only: the player movie hides every built-in item of the player's
  // own menu, so the player shows none, whatever Menu says and whatever it plays.
  Q_PROPERTY(bool Menu MEMBER menu_)
  Q_PROPERTY(QString Quality2 MEMBER quality_)
  Q_PROPERTY(int BackgroundColor MEMBER backgroundColor_ WRITE setBackgroundColor)

 public:
  using Part = quillet::player::Part;
  using EngineFactory = PlaybackSession::EngineFactory;

  // Plays through engine; without one, makes one with makeEngine when it
  // first has something to play (an idle player then costs no engine).
  explicit FlashPlayerWidget(std::unique_ptr<MediaEngine> engine, EngineFactory makeEngine = {},
                             QWidget* parent = nullptr);
  ~FlashPlayerWidget() override;

  // Layer 0 replaces the current movie by the one at path; the FlashVars set
  // before this call are the ones it reads. Other layers are not supported
  // and are left alone.
  Q_INVOKABLE void LoadMovie(int layer, const QString& path);

  void setBgColor(const QString& colour);
  void setBackgroundColor(int rgb);

  QSize sizeHint() const override { return {400, 300}; }

  // Where the bar, the keys, the wheel and the desktop's media controls send
  // their commands.
  PlaybackControl& playback() const { return *playback_; }

  // Read-only inspection of what the player shows.
  bool movieLoaded() const { return movie_.has_value(); }
  bool isShown(Part part) const;
  QRect partRect(Part part) const;
  QString displayedTime() const;
  // What the error layer says; empty while it is hidden.
  QString errorMessage() const;
  int volume() const { return session_.volume(); }
  bool isMuted() const { return session_.isMuted(); }
  bool isPlaying() const { return session_.playing(); }
  bool inFullScreenState() const { return movie_ && movie_->fullScreen; }
  double playedFraction() const;
  double loadedFraction() const { return session_.loadedFraction(); }
  double duration() const { return session_.duration(); }
  bool isRefreshing() const { return session_.isRefreshing(); }
  // The note shown over the picture now; empty when none.
  QString note() const { return note_; }
  // The seek bar's preview: shown while the pointer is over the bar or the
  // handle is dragged; the moment it shows, and where its picture is drawn
  // (empty while it has none).
  bool seekPreviewShown() const { return seekPreview_.shown(); }
  double seekPreviewSeconds() const { return seekPreview_.seconds(); }
  bool seekPreviewPictureCurrent() const { return seekPreview_.pictureCurrent(); }
  QRect seekPreviewPictureRect() const;
  QRect seekPreviewRect() const;

  // A short note over the picture for a second or two (never in a
  // screenshot).
  void showNote(const QString& text, int milliseconds = kNoteMilliseconds);
  // Where the note offers to go on from, while it does.
  std::optional<double> resumeOffer() const { return resumeOffer_; }
  // Goes where the note offers to (Enter, or a click on the note).
  void takeResumeOffer();
  // The frame shown, at the video's own size, as a PNG in the desktop's
  // Pictures folder (else the home folder), or on the clipboard. The note
  // says where it went or why not.
  void saveScreenshot();
  void copyScreenshot();
  // The commands of the keys beyond the bar's; each does nothing without a
  // video or while one is still opening.
  void changeSpeed(int steps);      // a tenth faster (+) or slower (-) a step; 0: back to 1x
  void requestNeighbour(int step);  // the next (+1) or previous (-1) video of the folder

 signals:
  void FSCommand(const QString& command, const QString& args);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  class Control;  // the widget's PlaybackControl (PlayerPlaybackControl.cpp)
  void createControl();

  enum class Drag { None, Seek, Volume };
  // What the face keeps of one loaded movie; replaced whole by the next.
  struct Movie {
    QImage preview;
    bool fullScreen = false;
    bool barShownInFullScreen = false;
    Drag drag = Drag::None;
    double dragFraction = 0;
    std::optional<Part> pressed;
    int wheelUnits = 0;  // wheel movement not yet a whole volume step
  };

  void connectSession();
  void relayout();
  const StageLayout& layout() const;
  // Tells the session at what size frames are shown, if at all.
  void updateFrameSize();
  bool barVisible() const;
  QRect chromeRect() const;
  // The ring that shows the picture has the keyboard focus.
  QRect focusRingRect() const;
  void paintFocusRing(QPainter& p) const;
  // The backing store's pixels under r when a frame can be drawn there
  // directly; null when it must go through an image.
  uchar* storePixels(QPainter& p, const QRegion& painting, const QRect& r, qsizetype* stride) const;
  std::optional<Part> buttonAt(QPoint pos) const;
  void switchScreen(bool full);
  void setBarShownInFullScreen(bool shown);

  // Keys and the wheel (PlayerInput.cpp).
  void addShortcuts();
  // A video is open and past its opening: the keys beyond the bar's act.
  bool videoReady() const;
  static constexpr int kNoteMilliseconds = 1800;
  void setUpNotes();
  QRect noteRect() const;
  void paintNote(QPainter& p) const;
  // Tells the playback's listeners what changed since they last heard.
  void notifyPlayback();

  // The seek bar's preview (PlayerPreview.cpp).
  void setUpSeekPreview();
  // Follows the pointer at pos (or the dragged handle); hides it elsewhere.
  void followSeekPreview(QPoint pos);
  void paintSeekPreview(QPainter& p) const;
  QSize seekPreviewPictureSize() const;

  // Going on where the video was left (PlayerResume.cpp).
  void setUpResume();
  // A new video: what is kept of it is looked up; its offer waits until it
  // is ready.
  void startResume();
  // Keeps where the video is now, or forgets it at the end.
  void keepPlace();
  void followResume();
  void dropResumeOffer();
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Control properties.
  QString wMode_, flashVars_, bgColorText_, quality_;
  bool menu_ = true;
  int backgroundColor_ = -1;
  QColor stageColour_ = Qt::white;

  // The loaded movie; nothing while no valid movie is loaded.
  std::optional<Movie> movie_;
  PlaybackSession session_;
  PreviewLoader preview_{this};          // a child: its fetches are among the player's
  mutable StageLayout layout_;           // follows size() as soon as it is asked for
  bool onScreen_ = false;                // between a show event and a hide event
  PlaybackControl* playback_ = nullptr;  // child
  QString note_;
  QTimer* noteTimer_ = nullptr;  // child
  SeekPreview seekPreview_;
  // The local video being played, as the places know it.
  struct Place {
    QByteArray path;
    qint64 size = -1;
    std::optional<double> kept;  // where it was left, as read at the start
    bool offered = false;
    bool wasPlaying = false;
    bool forgotten = false;  // reached its end
  };
  std::optional<Place> place_;
  std::optional<double> resumeOffer_;
  QShortcut* resumeKey_ = nullptr;  // child
  int seekPreviewX_ = 0;            // where the preview points, widget pixels
  QRect seekPreviewDrawn_;          // where it was last asked to be painted
};

}  // namespace quillet::player
