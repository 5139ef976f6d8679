#pragma once
// What the desktop's media services (the media-key interface, screen-saver
// inhibition) see of the player the window holds: its state, the video it
// plays, and the commands they may give. main.cpp wires it to the current
// player; without one it is stopped with nothing to play.

#include <QObject>
#include <QString>

#include "player/PlaybackCommands.h"

namespace quillet::qt {

class MediaSession : public QObject {
  Q_OBJECT
 public:
  using State = player::PlaybackState;

  struct Video {
    quint64 number = 0;  // 0: no video; another number for each one opened
    QString address;     // a path or an http(s) address
    QString title;
    double duration = 0;  // seconds; 0 while unknown
    QString url;          // the address as a URL, a file's name %-encoded byte for byte
  };

  using QObject::QObject;

  virtual State state() const = 0;
  virtual Video video() const = 0;
  virtual bool canPlay() const = 0;
  virtual bool canSeek() const = 0;
  virtual double position() const = 0;  // seconds
  virtual int volume() const = 0;       // 0 to 100
  // Playback speed: 1 normal, within kMinSpeed to kMaxSpeed.
  virtual double speed() const = 0;
  // Where the commands go: the player's, or none that act.
  virtual player::PlaybackCommands& commands() = 0;

 signals:
  void stateChanged();
  void videoChanged();  // the video, its details or what can be done with it
  void volumeChanged();
  void seeked(double seconds);
  void speedChanged();
};

}  // namespace quillet::qt
