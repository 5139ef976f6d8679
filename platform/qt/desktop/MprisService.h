#pragma once
// The desktop's media controls (panel applets, media keys, headsets,
// playerctl) reach the player through MPRIS 2 on the session bus: the
// org.mpris.MediaPlayer2 root and Player interfaces at
// /org/mpris/MediaPlayer2, under the name org.mpris.MediaPlayer2.quillet,
// or with ".instance<pid>" behind it when another Quillet holds that name.
// Without a session bus nothing is registered.

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "platform/qt/desktop/MediaSession.h"

namespace quillet::qt {

class MprisService : public QObject {
  Q_OBJECT
 public:
  struct Actions {
    std::function<void()> raise;  // bring the window to the front
    std::function<void()> quit;   // close the window the normal way
    // Open a local video by its path's bytes; null when opening is not offered.
    std::function<void(const std::string& path)> open;
    // Whether there is a next (+1) or previous (-1) video, and opening it;
    // null when the player offers none.
    std::function<bool(int step)> hasNeighbour;
    std::function<void(int step)> openNeighbour;
  };

  MprisService(MediaSession& session, Actions actions, QObject* parent = nullptr);
  ~MprisService() override;

  // Claims a name and exports the interfaces; false when there is no
  // session bus or no name could be had.
  bool registerOnSessionBus();

  // Asks hasNeighbour again and tells the desktop when CanGoNext or
  // CanGoPrevious have changed (the folder's listing came in, or changed).
  void neighboursChanged();

  // The track id the Metadata gives for a video (the no-track id for none).
  static QString trackId(quint64 videoNumber);

  MediaSession& session;
  const Actions actions;

 private:
  // Tells the desktop the Player interface's properties of these names.
  void propertiesChanged(const QStringList& names);

  QObject* player = nullptr;                      // the Player interface's adaptor (a child)
  bool canGoNext = false, canGoPrevious = false;  // as last told
  QObject* root = nullptr;                        // the root interface's adaptor (a child)
  QString name;
  bool registered = false;
};

}  // namespace quillet::qt
