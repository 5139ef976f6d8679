#pragma once
// Files with POSIX calls, the program's embedded resources with Qt.

#include <functional>
#include <memory>

#include "platform/Files.h"

namespace quillet::qt {

class FolderListings;

class QtFiles : public Files {
 public:
  QtFiles();
  ~QtFiles() override;

  std::string tempPath() override;
  Maybe<std::string> createUniqueFile(const std::string& dir, const std::string& prefix) override;
  // The Qt resource ":/quillet/resource/<id>".
  Maybe<Bytes> readResource(int resourceId) override;
  Status writeFile(const std::string& path, const Bytes& bytes) override;
  Status deleteFile(const std::string& path) override;
  // Ordered by the user's locale, case aside and numbers by their value.
  Maybe<std::vector<std::string>> listFolder(const std::string& dir) override;
  // Kept per folder and read again off the GUI thread (FolderListings).
  Listing latestListing(const std::string& dir) override;
  void setWhenListed(std::function<void()> whenListed) override;
  std::string exePath() override;
  std::string programFolder() override;

 private:
  std::function<void()> whenListed;
  std::unique_ptr<FolderListings> listings;  // made on first use, under the application
};

}  // namespace quillet::qt
