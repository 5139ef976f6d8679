#include "platform/qt/system/QtFiles.h"

#include "platform/qt/system/FolderListings.h"
#include "platform/qt/system/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCollator>
#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string_view>
#include <utility>

namespace quillet::qt {

namespace {

Status errnoFailure(const char* what) {
  return Status::failed(std::string(what) + ": " + std::strerror(errno));
}

// The files this process made and has not deleted yet. A process that ends
// through exit() without its window's unload (Qt ends it so when the X
// server goes away), or through quick_exit() (the program's own end, which
// skips Qt's clean-up), removes them on the way out, so no temporary file is
// left behind. A file the program deleted itself is never touched again: its
// name may belong to someone else's file by then.
class FilesToRemoveAtExit {
 public:
  static FilesToRemoveAtExit& instance() {
    // Never destroyed: the exit handler runs after static destructors may have.
    static auto* files = new FilesToRemoveAtExit;
    return *files;
  }
  void add(const std::string& path) {
    std::lock_guard lock(mutex);
    paths.insert(path);
  }
  void forget(const std::string& path) {
    std::lock_guard lock(mutex);
    paths.erase(path);
  }

 private:
  FilesToRemoveAtExit() {
    std::atexit([] { instance().removeAll(); });
    std::at_quick_exit([] { instance().removeAll(); });
  }
  void removeAll() {
    std::lock_guard lock(mutex);
    for (const std::string& path : paths) ::unlink(path.c_str());
    paths.clear();
  }

  std::mutex mutex;
  std::set<std::string> paths;
};

}  // namespace

std::string QtFiles::tempPath() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

Maybe<std::string> QtFiles::createUniqueFile(const std::string& dir, const std::string& prefix) {
  std::string stem = prefix.substr(0, 3);
  // The file must lie directly in dir: no separator may come in with the name.
  if (stem.find('/') != std::string::npos || stem.find('\0') != std::string::npos)
    return std::nullopt;
  std::string folder = dir.empty() || dir.back() == '/' ? dir : dir + "/";

  // Start at a random number and count up on collision, as names in a shared
  // directory are taken by others too.
  static std::mt19937 numbers{std::random_device{}()};
  std::uint32_t n = numbers();
  for (int attempt = 0; attempt < 0x10000; ++attempt, ++n) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(n));
    std::string path = folder + stem + hex + ".tmp";
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd) {
      FilesToRemoveAtExit::instance().add(path);
      return path;
    }
    if (errno != EEXIST) return std::nullopt;  // no name will do any better
  }
  return std::nullopt;
}

Maybe<Bytes> QtFiles::readResource(int resourceId) {
  QFile resource(QStringLiteral(":/quillet/resource/%1").arg(resourceId));
  if (!resource.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray data = resource.readAll();
  return Bytes(data.begin(), data.end());
}

Status QtFiles::writeFile(const std::string& path, const Bytes& bytes) {
  // An existing file only, not truncated, written from its first byte.
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return errnoFailure("open");
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return errnoFailure("write");
    done += static_cast<std::size_t>(n);
  }
  if (!fd.close()) return errnoFailure("close");
  return Status::ok();
}

Status QtFiles::deleteFile(const std::string& path) {
  FilesToRemoveAtExit::instance().forget(path);
  // unlink never removes a directory.
  if (::unlink(path.c_str()) != 0) return errnoFailure("unlink");
  return Status::ok();
}

Maybe<std::vector<std::string>> QtFiles::listFolder(const std::string& dir) {
  // POSIX rather than QDir: a name that is not UTF-8 keeps its bytes.
  const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(dir.c_str()), &::closedir);
  if (!folder) return std::nullopt;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  // As file managers show them (Dolphin's QCollator, Nautilus's collation
  // keys for file names): case aside, digits by their number; names equal
  // to the collator keep their bytes' order.
  // Qt's collator for the C locale compares code points only: numbers
  // then take English rules.
  QLocale locale;
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
  QCollator collator(locale);
  collator.setNumericMode(true);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::vector<std::pair<QString, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& n : names)
    keyed.emplace_back(QString::fromLocal8Bit(n.data(), qsizetype(n.size())), std::move(n));
  std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    const int order = collator.compare(a.first, b.first);
    return order != 0 ? order < 0 : a.second < b.second;
  });
  names.clear();
  for (auto& k : keyed) names.push_back(std::move(k.second));
  return names;
}

QtFiles::QtFiles() = default;
QtFiles::~QtFiles() = default;

Files::Listing QtFiles::latestListing(const std::string& dir) {
  if (!listings) {
    // Read with this same listing, on the worker thread (it touches no
    // state of this object).
    listings = std::make_unique<FolderListings>(
        [](const std::string& folder) { return QtFiles().listFolder(folder); });
    listings->setWhenListed(whenListed);
  }
  return listings->latest(dir);
}

void QtFiles::setWhenListed(std::function<void()> listed) {
  whenListed = std::move(listed);
  if (listings) listings->setWhenListed(whenListed);
}

std::string QtFiles::exePath() {
  std::error_code error;
  auto real = std::filesystem::canonical("/proc/self/exe", error);
  if (!error) return real.string();
  if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath().toStdString();
  return {};
}

std::string QtFiles::programFolder() {
  std::string exe = exePath();
  if (exe.empty()) return {};
  return std::filesystem::path(exe).parent_path().string();
}

}  // namespace quillet::qt
