#pragma once
// The player as screen readers see it: the player area, named after its
// video, and the painted bar's parts as its children (play or pause, the
// seek slider, the time, mute, the volume slider, full screen, and the error
// layer's message while it shows), each with a
// role, a name, states and, for the sliders, a value. Actions and values set
// by assistive technology go through the player's PlaybackControl, as the
// bar's clicks do.

#include <QAccessibleWidget>
#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace quillet::player {

class FlashPlayerWidget;

// Registers the factory that gives every FlashPlayerWidget its accessible
// object; once per process, on the first call.
void installPlayerAccessibility();

// Tells assistive technology what changed since it last heard: names,
// states and values. The seek slider's value at most about once a second
// while it only moves on with playback; at once after a seek.
void announcePlayerChanges(FlashPlayerWidget& player, bool seeked = false);

// The tooltip of the bar's part at pos, and that part's place (widget
// coordinates): the name a screen reader reads, and for the seek slider
// where it stands; no text elsewhere.
struct PartToolTip {
  QString text;
  QRect area;
};
PartToolTip partToolTip(FlashPlayerWidget& player, QPoint pos);

// Tells assistive technology the note over the picture changed (the
// player's description while one is shown).
void announceNote(FlashPlayerWidget& player);

// Tells assistive technology the time under the pointer on the seek bar
// (the seek slider's description), when its whole second changes.
void announceSeekPreview(FlashPlayerWidget& player);

class PlayerAccessible : public QAccessibleWidget {
 public:
  // The bar's parts, in their order as children, and the error layer's
  // message after them while it shows.
  enum class Piece { PlayPause, Seek, Time, Mute, Volume, Screen, Message };

  explicit PlayerAccessible(FlashPlayerWidget* player);
  ~PlayerAccessible() override;

  FlashPlayerWidget* player() const;

  QString text(QAccessible::Text t) const override;
  int childCount() const override { return static_cast<int>(pieces().size()); }
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;

  void announce(bool seeked);
  void announcePreview();

 private:
  // What was last told, to tell only what changed.
  struct Told {
    int children = 0;
    QString name;
    bool playing = false;
    bool muted = false;
    int volume = 0;
    qint64 second = -1;
    double duration = 0;
    bool fullScreen = false;
    QString message;
  };

  // The pieces a loaded movie shows, in order.
  std::vector<Piece> pieces() const;
  QAccessibleInterface* pieceInterface(Piece piece) const;

  mutable std::array<QAccessible::Id, 7> ids_{};
  std::optional<Told> told_;
  qint64 previewSecond_ = -1;  // the preview's time last told; -1: none shown
  bool seekPending_ = false;   // a change to tell at once, when the position shows it
  QElapsedTimer sinceSeekValue_;
};

}  // namespace quillet::player
