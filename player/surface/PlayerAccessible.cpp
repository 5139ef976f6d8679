#include "player/surface/PlayerAccessible.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QRect>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <optional>

#include "player/surface/FlashPlayerWidget.h"
#include "player/surface/PlayerKeys.h"
#include "player/surface/TimeText.h"

namespace quillet::player {

namespace {

using Piece = PlayerAccessible::Piece;

// The seek slider's value moves on by itself while a video plays; a screen
// reader hears of it no more often than this.
constexpr qint64 kSeekValueEveryMs = 1000;

// Tells assistive technology of one change.
template <class Event>
void tell(Event&& event) {
  QAccessible::updateAccessibility(&event);
}

// One painted part of the bar. It holds no state: everything is read from
// the player when asked, so it can never tell an old value.
class PieceAccessible final : public QAccessibleInterface,
                              public QAccessibleActionInterface,
                              public QAccessibleValueInterface,
                              public QAccessibleTextInterface {
  // The parts' texts are the player's, in its translation context.
  Q_DECLARE_TR_FUNCTIONS(quillet::player::PlayerAccessible)

 public:
  PieceAccessible(PlayerAccessible& parent, Piece piece) : parent_(parent), piece_(piece) {}

  FlashPlayerWidget* w() const { return parent_.player(); }
  PlaybackControl& playback() const { return w()->playback(); }
  Piece piece() const { return piece_; }

  bool isValid() const override { return w() && w()->movieLoaded(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return parent_.window(); }
  QAccessibleInterface* parent() const override { return &parent_; }
  int childCount() const override { return 0; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  void setText(QAccessible::Text, const QString&) override {}

  Part part() const {
    switch (piece_) {
      case Piece::PlayPause:
        return w()->isPlaying() ? Part::Pause : Part::Play;
      case Piece::Seek:
        return Part::Progress;
      case Piece::Time:
        return Part::Display;
      case Piece::Mute:
        return Part::Mute;
      case Piece::Volume:
        return Part::Volume;
      case Piece::Screen:
        return w()->inFullScreenState() ? Part::Normal : Part::Full;
      case Piece::Message:
        return Part::Message;
    }
    return Part::Bar;
  }

  QRect rect() const override {
    if (!isValid()) return {};
    const QRect r = w()->partRect(part());
    return QRect(w()->mapToGlobal(r.topLeft()), r.size());
  }

  QAccessible::Role role() const override {
    switch (piece_) {
      case Piece::Seek:
      case Piece::Volume:
        return QAccessible::Slider;
      case Piece::Time:
      case Piece::Message:
        return QAccessible::StaticText;
      default:
        return QAccessible::Button;
    }
  }

  QString text(QAccessible::Text t) const override {
    if (!isValid()) return {};
    if (t == QAccessible::Name) {
      switch (piece_) {
        case Piece::PlayPause:
          return w()->isPlaying() ? tr("Pause") : tr("Play");
        case Piece::Seek:
          return tr("Seek");
        case Piece::Time:
          return w()->displayedTime();
        case Piece::Mute:
          return tr("Mute");
        case Piece::Volume:
          return tr("Volume");
        case Piece::Screen:
          return w()->inFullScreenState() ? tr("Leave full screen") : tr("Full screen");
        case Piece::Message:
          return w()->errorMessage();
      }
    }
    if (t == QAccessible::Description) {
      if (piece_ == Piece::Seek) {
        const int loaded = static_cast<int>(std::lround(w()->loadedFraction() * 100));
        const QString text = tr("%1% loaded").arg(loaded);
        if (!w()->seekPreviewShown()) return text;
        //: The seek slider's description while the pointer is over it: how
        //: much is loaded, then the time under the pointer ("1:23").
        return tr("%1, pointer at %2").arg(text, spokenTimeText(w()->seekPreviewSeconds()));
      }
      if (piece_ == Piece::Time) return tr("Elapsed time");
    }
    if (t == QAccessible::Value) {
      if (piece_ == Piece::Seek) return seekText();
      if (piece_ == Piece::Volume) return QStringLiteral("%1%").arg(w()->volume());
    }
    return {};
  }

  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    // Not shown (the bar hidden in full screen), or outside a player too
    // small to hold it.
    if (!w()->isShown(part()) || !w()->rect().intersects(w()->partRect(part())))
      s.invisible = s.offscreen = true;
    if (piece_ == Piece::Mute) {
      // A toggle: checked while muted, and pressed, which is how AT-SPI
      // tells a toggle button's state.
      s.checkable = true;
      s.checked = s.pressed = w()->isMuted();
    }
    if ((piece_ == Piece::PlayPause && !playback().canPlay()) ||
        (piece_ == Piece::Seek && !playback().canSeek()))
      s.disabled = true;
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    switch (type) {
      case QAccessible::ActionInterface:
        return piece_ == Piece::Time || piece_ == Piece::Message
                   ? nullptr
                   : static_cast<QAccessibleActionInterface*>(this);
      case QAccessible::ValueInterface:
        return slider() ? static_cast<QAccessibleValueInterface*>(this) : nullptr;
      case QAccessible::TextInterface:
        // What the seek slider reads as text ("1:23 of 4:56") reaches AT-SPI
        // only through its text interface.
        return piece_ == Piece::Seek ? static_cast<QAccessibleTextInterface*>(this) : nullptr;
      default:
        return nullptr;
    }
  }

  // ---- Actions: what a click (or an arrow key on a slider) does.

  QStringList actionNames() const override {
    switch (piece_) {
      case Piece::Seek:
      case Piece::Volume:
        return {increaseAction(), decreaseAction()};
      case Piece::Mute:
        return {toggleAction(), pressAction()};
      case Piece::Time:
      case Piece::Message:
        return {};
      default:
        return {pressAction()};
    }
  }

  // The player's own key that does what an action does, which works
  // wherever the focus is; the action runs it.
  std::optional<QKeyCombination> keyOf(const QString& action) const {
    const bool less = action == decreaseAction();
    switch (piece_) {
      case Piece::PlayPause:
        return Qt::Key_K;
      case Piece::Seek:
        return less ? Qt::Key_Left : Qt::Key_Right;
      case Piece::Volume:
        return less ? Qt::Key_Down : Qt::Key_Up;
      case Piece::Mute:
        return Qt::Key_M;
      case Piece::Screen:
        return Qt::Key_F;
      case Piece::Time:
      case Piece::Message:
        break;
    }
    return std::nullopt;
  }

  void doAction(const QString& name) override {
    if (!isValid() || !actionNames().contains(name)) return;
    if (const auto key = keyOf(name)) runKey(*key, playback());
  }

  QStringList keyBindingsForAction(const QString& name) const override {
    if (const auto key = keyOf(name)) return {QKeySequence(*key).toString()};
    return {};
  }

  // ---- Values: the seek slider in seconds, the volume in percent.

  bool slider() const { return piece_ == Piece::Seek || piece_ == Piece::Volume; }

  QVariant currentValue() const override {
    if (!isValid()) return 0.0;
    return piece_ == Piece::Seek ? playback().position() : double(w()->volume());
  }
  void setCurrentValue(const QVariant& value) override {
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!isValid() || !ok || !std::isfinite(v)) return;
    if (piece_ == Piece::Seek) {
      if (playback().canSeek()) playback().seekTo(std::clamp(v, 0.0, playback().duration()));
    } else if (piece_ == Piece::Volume) {
      playback().setVolume(static_cast<int>(std::lround(std::clamp(v, 0.0, 100.0))));
    }
  }
  QVariant maximumValue() const override {
    if (!isValid()) return 0.0;
    return piece_ == Piece::Seek ? playback().duration() : 100.0;
  }
  QVariant minimumValue() const override { return 0.0; }
  QVariant minimumStepSize() const override { return 1.0; }

  QString seekText() const {
    //: The seek slider's value as read aloud: the position, then the length.
    return tr("%1 of %2")
        .arg(spokenTimeText(playback().position()), spokenTimeText(playback().duration()));
  }

  // ---- The seek slider's text, read only.

  QString text(int start, int end) const override {
    const QString all = seekText();
    start = std::clamp(start, 0, int(all.size()));
    end = end < 0 ? int(all.size()) : std::clamp(end, start, int(all.size()));
    return all.mid(start, end - start);
  }
  int characterCount() const override { return int(seekText().size()); }
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int, int* start, int* end) const override {
    *start = 0;
    *end = characterCount();
    return {};
  }

 private:
  PlayerAccessible& parent_;
  Piece piece_;
};

QAccessibleInterface* playerFactory(const QString& className, QObject* object) {
  if (className != QLatin1String("quillet::player::FlashPlayerWidget")) return nullptr;
  if (auto* player = qobject_cast<FlashPlayerWidget*>(object)) return new PlayerAccessible(player);
  return nullptr;
}

}  // namespace

void installPlayerAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(playerFactory);
    return true;
  }();
  (void)installed;
}

void announcePlayerChanges(FlashPlayerWidget& player, bool seeked) {
  if (!QAccessible::isActive()) return;
  if (auto* iface = dynamic_cast<PlayerAccessible*>(QAccessible::queryAccessibleInterface(&player)))
    iface->announce(seeked);
}

PartToolTip partToolTip(FlashPlayerWidget& player, QPoint pos) {
  auto* face = dynamic_cast<PlayerAccessible*>(QAccessible::queryAccessibleInterface(&player));
  if (!face) return {};
  const QPoint global = player.mapToGlobal(pos);
  auto* piece = dynamic_cast<PieceAccessible*>(face->childAt(global.x(), global.y()));
  if (!piece || piece->piece() == Piece::Time || piece->piece() == Piece::Message) return {};
  const QRect area = piece->rect();
  return {piece->piece() == Piece::Seek ? piece->seekText() : piece->text(QAccessible::Name),
          QRect(player.mapFromGlobal(area.topLeft()), area.size())};
}

void announceNote(FlashPlayerWidget& player) {
  if (!QAccessible::isActive()) return;
  tell(QAccessibleEvent(&player, QAccessible::DescriptionChanged));
}

void announceSeekPreview(FlashPlayerWidget& player) {
  if (!QAccessible::isActive()) return;
  if (auto* iface = dynamic_cast<PlayerAccessible*>(QAccessible::queryAccessibleInterface(&player)))
    iface->announcePreview();
}

void PlayerAccessible::announcePreview() {
  const qint64 second = player()->seekPreviewShown()
                            ? static_cast<qint64>(std::floor(player()->seekPreviewSeconds()))
                            : -1;
  if (second == previewSecond_ || childCount() == 0) return;
  previewSecond_ = second;
  tell(QAccessibleEvent(pieceInterface(Piece::Seek), QAccessible::DescriptionChanged));
}

PlayerAccessible::PlayerAccessible(FlashPlayerWidget* player)
    : QAccessibleWidget(player, QAccessible::Pane) {
  sinceSeekValue_.start();
}

PlayerAccessible::~PlayerAccessible() {
  for (const QAccessible::Id id : ids_)
    if (id) QAccessible::deleteAccessibleInterface(id);
}

FlashPlayerWidget* PlayerAccessible::player() const {
  return static_cast<FlashPlayerWidget*>(widget());
}

QString PlayerAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Name) {
    const QString title = player()->playback().title();
    return title.isEmpty()
               ? QCoreApplication::translate("quillet::player::PlayerAccessible", "No video")
               : title;
  }
  // The note over the picture, as a screen reader reads it.
  if (t == QAccessible::Description && !player()->note().isEmpty()) return player()->note();
  return QAccessibleWidget::text(t);
}

std::vector<Piece> PlayerAccessible::pieces() const {
  const FlashPlayerWidget* w = player();
  if (!w->movieLoaded()) return {};
  std::vector<Piece> list{Piece::PlayPause, Piece::Seek, Piece::Time, Piece::Mute, Piece::Volume};
  // The full-screen button is there only where the movie shows it.
  if (!w->partRect(Part::Full).isEmpty()) list.push_back(Piece::Screen);
  if (w->isShown(Part::Message)) list.push_back(Piece::Message);
  return list;
}

QAccessibleInterface* PlayerAccessible::pieceInterface(Piece piece) const {
  QAccessible::Id& id = ids_[static_cast<std::size_t>(piece)];
  if (QAccessibleInterface* known = id ? QAccessible::accessibleInterface(id) : nullptr)
    return known;
  auto* made = new PieceAccessible(const_cast<PlayerAccessible&>(*this), piece);
  id = QAccessible::registerAccessibleInterface(made);
  return made;
}

QAccessibleInterface* PlayerAccessible::child(int index) const {
  const std::vector<Piece> list = pieces();
  if (index < 0 || index >= static_cast<int>(list.size())) return nullptr;
  return pieceInterface(list[static_cast<std::size_t>(index)]);
}

int PlayerAccessible::indexOfChild(const QAccessibleInterface* child) const {
  const auto* piece = dynamic_cast<const PieceAccessible*>(child);
  if (!piece || piece->parent() != this) return -1;
  const std::vector<Piece> list = pieces();
  const auto at = std::find(list.begin(), list.end(), piece->piece());
  return at == list.end() ? -1 : static_cast<int>(at - list.begin());
}

QAccessibleInterface* PlayerAccessible::childAt(int x, int y) const {
  // The bar's parts first: the error layer's message covers the whole stage.
  for (Piece piece : pieces()) {
    if (piece == Piece::Message) continue;
    QAccessibleInterface* c = pieceInterface(piece);
    if (!c->state().invisible && c->rect().contains(x, y)) return c;
  }
  return nullptr;
}

void PlayerAccessible::announce(bool seeked) {
  FlashPlayerWidget* w = player();
  PlaybackControl& p = w->playback();
  const Told before = told_.value_or(Told{});
  const bool first = !told_;
  Told now{.children = childCount(),
           .name = text(QAccessible::Name),
           .playing = w->isPlaying(),
           .muted = w->isMuted(),
           .volume = w->volume(),
           .second = before.second,  // the last one told, below
           .duration = p.duration(),
           .fullScreen = w->inFullScreenState(),
           .message = w->errorMessage()};
  told_ = now;

  if (first || now.name != before.name) tell(QAccessibleEvent(this, QAccessible::NameChanged));
  if (first || now.children != before.children)
    tell(QAccessibleEvent(this, QAccessible::ObjectReorder));
  if (now.children == 0) return;

  auto nameChanged = [this](Piece piece) {
    tell(QAccessibleEvent(pieceInterface(piece), QAccessible::NameChanged));
  };
  if (now.playing != before.playing) nameChanged(Piece::PlayPause);
  if (now.fullScreen != before.fullScreen && !player()->partRect(Part::Full).isEmpty())
    nameChanged(Piece::Screen);
  if (!now.message.isEmpty() && now.message != before.message) {
    // Told as an alert too, so that a screen reader speaks it unasked.
    nameChanged(Piece::Message);
    tell(QAccessibleEvent(pieceInterface(Piece::Message), QAccessible::Alert));
  }
  if (now.muted != before.muted) {
    QAccessible::State changes;
    changes.checked = true;
    tell(QAccessibleStateChangeEvent(pieceInterface(Piece::Mute), changes));
  }
  if (now.volume != before.volume)
    tell(QAccessibleValueChangeEvent(pieceInterface(Piece::Volume), now.volume));
  // A seek, a new length, a pause or a play is told at once, as soon as the
  // position shows it; playing on, once a second at most.
  seekPending_ =
      seekPending_ || seeked || now.duration != before.duration || now.playing != before.playing;
  const auto second = static_cast<qint64>(std::floor(p.position()));
  if (second != before.second && (seekPending_ || sinceSeekValue_.elapsed() >= kSeekValueEveryMs)) {
    told_->second = second;
    seekPending_ = false;
    sinceSeekValue_.restart();
    tell(QAccessibleValueChangeEvent(pieceInterface(Piece::Seek), p.position()));
    nameChanged(Piece::Time);
  }
}

}  // namespace quillet::player
