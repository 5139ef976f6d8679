#include "playback/TempMovie.h"

#include "window/Form1.h"

namespace quillet {

// PLACEHOLDER: filled in by the temporary-movie work.
std::string TempFileNames::MakeTempFileName(const std::string&) { return {}; }
void Form1::ExtractResourceToFile(std::int16_t, const std::string&) {}

}  // namespace quillet
