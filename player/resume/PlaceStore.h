#pragma once
// Where each local video was left, so that opening it again can offer to go
// on from there. Kept in a small JSON file, keyed by the file's path and
// size, the most recently used 1,000 at most; written whole and atomically,
// readable by its owner only. Several players may share the file: each
// reads it again when it has changed, and a save (under a lock) puts this
// store's own changes on top of what the others wrote meanwhile. A file that cannot be read as such
// is set aside (NAME.damaged) and the places start afresh; a file that cannot be written leaves the
// places in memory. Neither stops the player.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace quillet::player {

inline constexpr int kMaxPlaces = 1000;

// Whether a video left at position (seconds) is worth going back to: it is
// longer than two minutes, and the place is more than a minute in and more
// than half a minute before the end.
bool worthResuming(double position, double duration);

class PlaceStore {
 public:
  // The places in file; nothing is read before the first question.
  explicit PlaceStore(QString file);
  // $XDG_STATE_HOME/quillet/places.json, else ~/.local/state/quillet/places.json.
  static QString defaultFile();

  // The place the video at path (the file system's bytes) with that size
  // was left at; nullopt when none is kept.
  std::optional<double> place(const QByteArray& path, qint64 size);
  void remember(const QByteArray& path, qint64 size, double seconds);
  void forget(const QByteArray& path, qint64 size) { change({path, size, std::nullopt}); }
  // Writes this store's changes since its last save, over what the file
  // holds now; false when they could not be written (they are kept for
  // the next save).
  bool save();

  int count();
  const QString& file() const { return file_; }

 private:
  struct Place {
    QByteArray path;
    qint64 size = 0;
    double seconds = 0;
    qint64 used = 0;  // a count that grows with each use: the oldest goes first
  };
  struct Change {
    QByteArray path;
    qint64 size = 0;
    std::optional<double> seconds;  // nullopt: forgotten
  };
  // What a read of the file saw: a file written since is read again.
  struct Stamp {
    qint64 bytes = -1, modifiedMs = 0, inode = 0;
    bool operator==(const Stamp&) const = default;
  };
  void load();
  void readFile();
  Stamp stamp() const;
  void change(Change c);
  void apply(const Change& c);
  std::vector<Place>::iterator find(const QByteArray& path, qint64 size);

  QString file_;
  Stamp read_;
  qint64 clock_ = 0;
  std::vector<Place> places_;
  std::vector<Change> pending_;  // not yet saved, oldest first
};

}  // namespace quillet::player
