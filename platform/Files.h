#pragma once
// Files, the temporary directory and the program's own embedded resources.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace quillet {

using Bytes = std::vector<unsigned char>;

class Files {
 public:
  virtual ~Files() = default;
  // The user's temporary directory as the system reports it ($TMPDIR, else
  // /tmp); it may or may not end in "/".
  virtual std::string tempPath() = 0;
  // Creates a new empty file, exclusively and with mode 0600, directly in
  // dir (which ends in "/"), named prefix's first three characters + a
  // hexadecimal number + ".tmp". Its full path, or nullopt when none can be made.
  virtual Maybe<std::string> createUniqueFile(const std::string& dir,
                                              const std::string& prefix) = 0;
  // The bytes of an embedded resource by its number.
  virtual Maybe<Bytes> readResource(int resourceId) = 0;
  // Opens an existing file for writing (without truncating it) and writes
  // the bytes from its start.
  virtual Status writeFile(const std::string& path, const Bytes& bytes) = 0;
  virtual Status deleteFile(const std::string& path) = 0;
  // The names in the folder dir (the file system's bytes; "." and ".." left
  // out), in the order a file manager shows them: natural order, "clip 2"
  // before "clip 10". Nullopt when the folder cannot be listed.
  virtual Maybe<std::vector<std::string>> listFolder(const std::string& dir) = 0;

  // What latestListing has for a folder.
  struct Listing {
    bool pending = false;  // its first reading is under way: nothing known yet
    std::shared_ptr<const std::vector<std::string>> names;  // null: cannot be listed
  };
  // listFolder's answer without waiting for the folder (a large one, or one
  // on a slow share, would hold the window up): its names as last read,
  // read again in the background when the folder changes or the reading
  // has aged. Here, where nothing is kept, the folder is read at once.
  virtual Listing latestListing(const std::string& dir) {
    Maybe<std::vector<std::string>> names = listFolder(dir);
    if (!names) return {};
    return {false, std::make_shared<const std::vector<std::string>>(std::move(*names))};
  }
  // Runs, on the thread that asked, each time a reading latestListing
  // started has come in.
  virtual void setWhenListed(std::function<void()> whenListed) { (void)whenListed; }
  // The running executable's real path, and the folder that holds it.
  virtual std::string exePath() = 0;
  virtual std::string programFolder() = 0;
};

}  // namespace quillet
