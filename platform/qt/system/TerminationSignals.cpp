#include "platform/qt/system/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cerrno>

namespace quillet::qt {

namespace {

// The pipe's write end for the handler; -1 while nobody listens.
std::atomic<int> requestPipe{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads it");

extern "C" void onTerminationSignal(int signalNumber) {
  const int savedErrno = errno;
  const int fd = requestPipe.load(std::memory_order_relaxed);
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds enough requests; nothing else can be done here.
    [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(Handler handler, QObject* parent)
    : QObject(parent), onRequest(std::move(handler)) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  readEnd = fds[0];
  writeEnd = fds[1];
  requestPipe.store(writeEnd);
  notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] { readRequests(); });

  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) {
    struct sigaction old {};
    ::sigaction(s, &action, &old);
    previous.push_back(old);
  }
}

TerminationSignals::~TerminationSignals() {
  if (readEnd < 0) return;
  for (std::size_t i = 0; i < previous.size(); ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
  requestPipe.store(-1);
  delete notifier;
  ::close(readEnd);
  ::close(writeEnd);
}

void TerminationSignals::readRequests() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(readEnd, bytes, sizeof bytes)) > 0 || (n < 0 && errno == EINTR)) {
    for (ssize_t i = 0; i < n; ++i) {
      const int signalNumber = bytes[i];
      if (std::find(seen.begin(), seen.end(), signalNumber) != seen.end()) {
        // Asked again: the polite way did not end the program, so the
        // signal's own default action does.
        ::signal(signalNumber, SIG_DFL);
        ::raise(signalNumber);
        continue;
      }
      seen.push_back(signalNumber);
      if (onRequest) onRequest(signalNumber);
    }
  }
}

void closeApplicationPolitely(QWidget* mainWindow) {
  // Each modal widget ends its own loop when closed; one that refuses (a
  // message box without an Escape answer) is left, and the quit below ends
  // its loop instead.
  for (int i = 0; i < 16; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == mainWindow || !modal->close()) break;
  }
  if (mainWindow && mainWindow->isVisible() && mainWindow->close()) return;
  QCoreApplication::quit();
}

}  // namespace quillet::qt
