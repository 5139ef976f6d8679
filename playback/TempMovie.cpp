#include "playback/TempMovie.h"

#include "window/Form1.h"

namespace quillet {

std::string TempFileNames::MakeTempFileName(const std::string& namePrefix) {
  if (tempDir.empty()) {
    tempDir = files.tempPath();
    if (tempDir.empty() || tempDir.back() != '/') tempDir += '/';
  }
  // No file made means no path: handing back the directory would let the
  // extraction write to it and the unload delete it.
  return files.createUniqueFile(tempDir, namePrefix).value_or(std::string{});
}

void Form1::ExtractResourceToFile(std::int16_t resourceId, const std::string& filePath) {
  if (filePath.empty()) return;  // no temporary file was made
  auto bytes = platform.files.readResource(resourceId);
  if (!bytes) return;
  skipOnFailure(platform.files.writeFile(filePath, *bytes));
}

}  // namespace quillet
