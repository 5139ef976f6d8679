#pragma once
// Reading and checking a movie file before the player runs it: an SWF file,
// plain ("FWS") or zlib-compressed ("CWS"), whose header and tag stream are
// well formed and which names the parts of our player. Anything else is not
// played.

#include <QSet>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>

#include "player/movie/PartNames.h"

namespace quillet::player {

// Larger files and larger stated lengths are refused unread.
inline constexpr std::uint32_t kMaxMovieBytes = 16u * 1024 * 1024;

struct MovieInfo {
  bool compressed = false;
  int version = 0;
  std::uint32_t length = 0;                    // of the whole uncompressed file
  int xMin = 0, yMin = 0, xMax = 0, yMax = 0;  // stage, twips
  double frameRate = 0;
  int frameCount = 0;
  QSet<QString> instanceNames;  // every name placed, on any timeline
};

// Parses a whole movie file; nullopt unless every check passes (signature,
// version 7 to 10, stated length, inflated size, header, tag stream up to and
// ending with the End tag).
std::optional<MovieInfo> parseMovie(std::span<const std::uint8_t> file);

// Whether a parsed movie places all of kPlayerPartNames (PartNames.h).
bool isPlayerMovie(const MovieInfo& movie);

// Reads the file at path and returns it when it is our player movie.
// Missing, unreadable, special (not a regular file), oversized or invalid
// files give nullopt.
std::optional<MovieInfo> readPlayerMovie(const QString& path);

}  // namespace quillet::player
