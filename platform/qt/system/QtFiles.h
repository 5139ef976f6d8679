#pragma once
// Files with POSIX calls, the program's embedded resources with Qt.

#include "platform/Files.h"

namespace quillet::qt {

class QtFiles : public Files {
 public:
  QtFiles() = default;

  std::string tempPath() override;
  Maybe<std::string> createUniqueFile(const std::string& dir, const std::string& prefix) override;
  // The Qt resource ":/quillet/resource/<id>".
  Maybe<Bytes> readResource(int resourceId) override;
  Status writeFile(const std::string& path, const Bytes& bytes) override;
  Status deleteFile(const std::string& path) override;
  // Ordered by the user's locale, case aside and numbers by their value.
  Maybe<std::vector<std::string>> listFolder(const std::string& dir) override;
  std::string exePath() override;
  std::string programFolder() override;
};

}  // namespace quillet::qt
