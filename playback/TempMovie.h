#pragma once
#include <cstdint>
#include <string>

#include "platform/Files.h"
#include "platform/Trace.h"

namespace quillet {

// The resource number of the embedded player movie.
constexpr int kPlayerMovieResource = 101;

// Unique temporary file names; the temporary directory is looked up once.
class TempFileNames {
 public:
  TempFileNames(Files& files, Trace& trace) : files(files), trace(trace, TraceArea::Playback) {}
  // The path of a new empty file whose name begins with namePrefix's first
  // three characters, or empty when none can be made.
  std::string MakeTempFileName(const std::string& namePrefix);

 private:
  Files& files;
  AreaTrace trace;
  std::string tempDir;
};

// Writes an embedded resource byte for byte into an existing file; an empty
// path (no file was made) or a missing resource writes nothing.
void ExtractResourceToFile(Files& files, Trace& trace, std::int16_t resourceId,
                           const std::string& filePath);

}  // namespace quillet
