#pragma once
// What a loaded player movie takes from its FlashVars: what to play and how,
// and how the bar looks. Pure reading; nothing is shown or played here.

#include <QColor>
#include <QString>
#include <QStringView>
#include <optional>

#include "player/movie/FlashVars.h"

namespace quillet::player {

inline constexpr int kDefaultVolume = 75;

struct MovieSettings {
  // The flv or mp3 to play; empty when nothing is played.
  QString source;
  // Whether the movie asks for a stream at all (flv or mp3 present and no
  // xml); an empty source then is a stream that cannot be found.
  bool wantsStream = false;
  bool audioOnly = false;  // mp3
  bool autoplay = false;
  // The query parameter of a byte-offset reopen; none when seeks stay within
  // what the stream has loaded.
  std::optional<QString> vseek;
  std::optional<double> durationOverride;  // NumVideoDuracion
  int volume = kDefaultVolume;             // 0 to 100
  bool screenButtons = true;               // fullscreen
  bool shadow = true;                      // effect
  QColor front = Qt::white, back = Qt::black;
  // The preview picture's path or address; empty for none.
  QString previewAddress;

  static MovieSettings read(const FlashVars& vars);
};

// Six (or fewer) hexadecimal digits of an RGB colour, optionally after "#"
// or "0x".
std::optional<QColor> hexColour(QStringView text);

}  // namespace quillet::player
