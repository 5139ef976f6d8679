#pragma once
// Folder listings kept per folder and read again off the GUI thread: a
// folder of many thousand files, or one on a slow network share, takes long
// to list and sort, and the media controls ask about the current video's
// neighbours often. A listing is read again when the folder changes (as
// the file system tells) or when it is a few seconds old (a share may not
// tell), and the reading is used once it is ready.

#include <QFileSystemWatcher>
#include <QObject>
#include <QThreadPool>
#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "platform/Files.h"

namespace quillet::qt {

class FolderListings : public QObject {
 public:
  // read lists one folder, on a worker thread.
  using Reader = std::function<Maybe<std::vector<std::string>>(const std::string& dir)>;
  explicit FolderListings(Reader read, QObject* parent = nullptr,
                          std::chrono::milliseconds maxAge = std::chrono::seconds(5));
  // Waits for a reading still under way.
  ~FolderListings() override;

  Files::Listing latest(const std::string& dir);
  void setWhenListed(std::function<void()> listed) { whenListed = std::move(listed); }

 private:
  struct Entry {
    Files::Listing listing{true, nullptr};
    bool reading = false;
    bool changed = false;  // since its reading started
    std::chrono::steady_clock::time_point readAt;
    quint64 lastUse = 0;
  };

  void startReading(const std::string& dir, Entry& entry);
  void readingDone(const std::string& dir, Maybe<std::vector<std::string>> names);
  void forgetLeastUsed();

  Reader read;
  std::chrono::milliseconds maxAge;
  std::map<std::string, Entry> entries;
  quint64 uses = 0;
  QFileSystemWatcher watcher;
  QThreadPool pool;
  std::function<void()> whenListed;
};

}  // namespace quillet::qt
