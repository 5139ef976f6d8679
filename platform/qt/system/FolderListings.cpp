#include "platform/qt/system/FolderListings.h"

#include <QFile>
#include <QMetaObject>

namespace quillet::qt {

namespace {

// Folders kept: the current video's and a few before it. Each costs a
// watch and its names.
constexpr std::size_t kKept = 4;

}  // namespace

FolderListings::FolderListings(Reader reader, QObject* parent, std::chrono::milliseconds age)
    : QObject(parent), read(std::move(reader)), maxAge(age) {
  pool.setMaxThreadCount(1);  // one folder at a time: a slow share is not asked twice at once
  connect(&watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString& path) {
    const auto it = entries.find(std::string(QFile::encodeName(path).toStdString()));
    if (it == entries.end()) return;
    if (it->second.reading) {
      it->second.changed = true;
    } else {
      startReading(it->first, it->second);
    }
  });
}

FolderListings::~FolderListings() {
  pool.clear();
  pool.waitForDone();
}

Files::Listing FolderListings::latest(const std::string& dir) {
  auto [it, added] = entries.try_emplace(dir);
  Entry& entry = it->second;
  entry.lastUse = ++uses;
  if (added) {
    watcher.addPath(QFile::decodeName(QByteArray::fromStdString(dir)));
    startReading(dir, entry);
    forgetLeastUsed();
  } else if (!entry.reading && std::chrono::steady_clock::now() - entry.readAt > maxAge) {
    startReading(dir, entry);
  }
  return entries.at(dir).listing;
}

void FolderListings::startReading(const std::string& dir, Entry& entry) {
  entry.reading = true;
  entry.changed = false;
  pool.start([this, dir, reader = read] {
    Maybe<std::vector<std::string>> names = reader(dir);
    // Queued to this object: dropped if it has gone meanwhile (it waits
    // for this reading before it goes).
    QMetaObject::invokeMethod(
        this,
        [this, dir, names = std::move(names)]() mutable { readingDone(dir, std::move(names)); },
        Qt::QueuedConnection);
  });
}

void FolderListings::readingDone(const std::string& dir, Maybe<std::vector<std::string>> names) {
  const auto it = entries.find(dir);
  if (it == entries.end()) return;  // forgotten meanwhile
  Entry& entry = it->second;
  entry.reading = false;
  entry.readAt = std::chrono::steady_clock::now();
  entry.listing = {
      false, names ? std::make_shared<const std::vector<std::string>>(std::move(*names)) : nullptr};
  if (entry.changed) startReading(dir, entry);  // the folder changed while it was read
  if (whenListed) whenListed();
}

void FolderListings::forgetLeastUsed() {
  while (entries.size() > kKept) {
    auto oldest = entries.end();
    for (auto it = entries.begin(); it != entries.end(); ++it)
      if (!it->second.reading &&
          (oldest == entries.end() || it->second.lastUse < oldest->second.lastUse))
        oldest = it;
    if (oldest == entries.end()) return;  // all being read: forgotten later
    watcher.removePath(QFile::decodeName(QByteArray::fromStdString(oldest->first)));
    entries.erase(oldest);
  }
}

}  // namespace quillet::qt
