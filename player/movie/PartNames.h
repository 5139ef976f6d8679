#pragma once
// The player movie's parts by their instance names, in one table: the movie
// reader checks that a movie places them, the surface names what it shows.

#include <array>
#include <cstddef>
#include <span>

namespace quillet::player {

// The movie's parts, plus the mute toggle and the preview image, which the
// movie does not place by a name of their own.
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

// Every part's name, in the order of Part.
inline constexpr std::array<const char*, 18> kPartNames = {
    "mc_bar",  "mc_base",    "mc_sombra", "b_play",     "b_pause",   "mc_progreso",
    "display", "mc_volumen", "b_full",    "b_normal",   "mc_screen", "mc_video",
    "mc_play", "mc_boton",   "mc_load",   "mc_mensaje", "mute",      "jpg"};

// The instance names a movie must place to be our player: all but the last
// two.
inline constexpr std::span<const char* const> kPlayerPartNames =
    std::span(kPartNames).first<kPartNames.size() - 2>();

}  // namespace quillet::player
