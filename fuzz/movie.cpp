// The player movie reader: any bytes as a whole movie file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/FuzzCheck.h"
#include "player/movie/MovieFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto movie = quillet::player::parseMovie(std::span(data, size));
  if (!movie) return 0;
  // What is accepted holds together.
  FUZZ_CHECK(movie->version >= 7 && movie->version <= 10);
  FUZZ_CHECK(movie->length >= 8 && movie->length <= quillet::player::kMaxMovieBytes);
  FUZZ_CHECK(movie->compressed || movie->length == size);
  FUZZ_CHECK(movie->xMax > movie->xMin && movie->yMax > movie->yMin);
  FUZZ_CHECK(movie->frameCount >= 1);
  quillet::player::isPlayerMovie(*movie);
  return 0;
}
