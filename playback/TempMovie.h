#pragma once
#include <string>

#include "platform/Files.h"

namespace quillet {

// The resource number of the embedded player movie.
constexpr int kPlayerMovieResource = 101;

// Unique temporary file names; the temporary directory is looked up once.
class TempFileNames {
 public:
  explicit TempFileNames(Files& files) : files(files) {}
  // The path of a new empty file whose name begins with namePrefix's first
  // three characters, or empty when none can be made.
  std::string MakeTempFileName(const std::string& namePrefix);

 private:
  Files& files;
  std::string tempDir;
};

}  // namespace quillet
