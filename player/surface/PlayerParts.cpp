// Which of the player's parts show, where they are, and what the bar reads:
// the inspection the tests and the pointer's hit tests share.

#include <QCoreApplication>
#include <algorithm>

#include "player/surface/FlashPlayerWidget.h"
#include "player/surface/TimeText.h"

namespace quillet::player {

bool FlashPlayerWidget::barVisible() const {
  return movie_ && (!movie_->fullScreen || movie_->barShownInFullScreen);
}

QRect FlashPlayerWidget::chromeRect() const {
  // The shadow over the picture stays as it is while the bar changes, and
  // leaving it out spares drawing the picture again.
  return layout().bar.bar;
}

bool FlashPlayerWidget::isShown(Part part) const {
  if (!movie_) return false;
  const MovieSettings& s = session_.settings();
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
      return bar && s.shadow;
    case Part::Play:
      return bar && !session_.playing();
    case Part::Pause:
      return bar && session_.playing();
    case Part::Full:
      return bar && s.screenButtons && !movie_->fullScreen;
    case Part::Normal:
      return bar && s.screenButtons && movie_->fullScreen;
    case Part::Screen:
      return true;
    case Part::Video:
      return !s.audioOnly;
    case Part::PlaySymbol:
    case Part::ClickArea:
      return !session_.started();
    case Part::Load:
      return session_.buffering() && layout().loadFits && !session_.failed();
    case Part::Message:
      return session_.failed();
    case Part::Preview:
      return !session_.started() && !movie_->preview.isNull();
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
  const bool dragging = movie_ && movie_->drag == Drag::Seek;
  return timeText(dragging ? movie_->dragFraction * session_.duration() : session_.position());
}

QString FlashPlayerWidget::errorMessage() const {
  if (!movie_ || !session_.failed()) return {};
  return session_.unplayable()
             ? QCoreApplication::translate("quillet::player::FlashPlayerWidget",
                                           "This file holds no video or sound that can be played.")
             : QCoreApplication::translate("quillet::player::FlashPlayerWidget", "Video not found");
}

double FlashPlayerWidget::playedFraction() const {
  if (movie_ && movie_->drag == Drag::Seek) return movie_->dragFraction;
  const double duration = session_.duration();
  if (duration <= 0) return 0;
  return std::clamp(session_.position() / duration, 0.0, 1.0);
}

std::optional<Part> FlashPlayerWidget::buttonAt(QPoint pos) const {
  if (!movie_) return std::nullopt;
  if (barVisible() && layout().bar.bar.contains(pos)) {
    for (Part p : {Part::Play, Part::Pause, Part::Mute, Part::Full, Part::Normal}) {
      if (isShown(p) && partRect(p).contains(pos)) return p;
    }
    return std::nullopt;
  }
  if (!session_.started() && layout().aboveBar.contains(pos)) return Part::ClickArea;
  return std::nullopt;
}

}  // namespace quillet::player
