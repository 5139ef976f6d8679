#pragma once
// The player's playback commands and what they change, in one place: the
// control bar, the keys, the mouse wheel and the desktop's media controls
// all go through it. Full screen is only ever a request: it goes out as the
// movie's "FSCommand" "screen" "full"/"normal", exactly as the bar's buttons
// send it, and the host does the switching.

#include <QObject>
#include <QString>

#include "player/PlaybackCommands.h"

namespace quillet::player {

class PlaybackControl : public QObject, public PlaybackCommands {
  Q_OBJECT
 public:
  using State = PlaybackState;

  using QObject::QObject;

  // Beside the playback commands (the volume's slider follows):
  virtual void changeVolume(int delta) = 0;
  // Only where the movie shows full-screen buttons.
  virtual void toggleFullScreen() = 0;
  virtual void leaveFullScreen() = 0;

  virtual State state() const = 0;
  virtual bool canPlay() const = 0;     // a video is open and playable
  virtual bool canSeek() const = 0;     // ...and its duration is known
  virtual double position() const = 0;  // seconds
  virtual double duration() const = 0;  // seconds; 0 while unknown
  virtual int volume() const = 0;
  virtual bool isMuted() const = 0;
  virtual bool inFullScreen() const = 0;
  // The video being played: the path or address it came from, empty when
  // none; its title, from its metadata or else its file name; and a number
  // that tells one opened video from the next within the process.
  virtual QString address() const = 0;
  virtual QString title() const = 0;
  virtual quint64 videoNumber() const = 0;

  // The speed, single frames and short notes over the picture act neither
  // without a video nor while one is still opening; a player without notes
  // ignores them.
  virtual double speed() const { return 1; }
  virtual void showNote(const QString& text) { Q_UNUSED(text); }

 signals:
  void stateChanged();
  void volumeChanged();
  void metadataChanged();  // address, title, duration or what can be done
  void seeked(double seconds);
  void speedChanged();
  // The user asks for the next (+1) or the previous (-1) video of the
  // current one's folder; whoever opens videos answers, or not.
  void neighbourRequested(int step);
};

}  // namespace quillet::player
