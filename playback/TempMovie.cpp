#include "playback/TempMovie.h"

namespace quillet {

std::string TempFileNames::MakeTempFileName(const std::string& namePrefix) {
  if (tempDir.empty()) {
    tempDir = files.tempPath();
    if (tempDir.empty() || tempDir.back() != '/') tempDir += '/';
  }
  // No file made means no path: handing back the directory would let the
  // extraction write to it and the unload delete it.
  auto made = files.createUniqueFile(tempDir, namePrefix);
  if (!made) {
    trace.skipped("MakeTempFileName", "no new file can be made in " + tempDir);
    return {};
  }
  trace.ran("MakeTempFileName");
  return *made;
}

void ExtractResourceToFile(Files& files, Trace& trace, std::int16_t resourceId,
                           const std::string& filePath) {
  const AreaTrace steps(trace, TraceArea::Playback);
  if (filePath.empty()) {
    steps.skipped("ExtractResourceToFile", "no temporary file was made");
    return;
  }
  auto bytes = files.readResource(resourceId);
  if (!bytes) {
    steps.skipped("ExtractResourceToFile", "no resource " + std::to_string(resourceId));
    return;
  }
  skipOnFailure(steps, "ExtractResourceToFile", files.writeFile(filePath, *bytes));
}

}  // namespace quillet
