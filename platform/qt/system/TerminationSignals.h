#pragma once
// A polite request to end — SIGTERM (the system, a service manager), SIGINT
// (Ctrl+C in a terminal), SIGHUP (the session going away) — becomes a call on
// the GUI thread, so that the program closes its window the normal way and
// its unload cleans up. The signal handler only writes the signal number to
// a pipe (async-signal-safe); a socket notifier reads it in the event loop.
// A second request of the same kind while the first is still being handled
// ends the program at once, as if nobody handled it.

#include <QObject>
#include <csignal>
#include <functional>
#include <vector>

class QSocketNotifier;
class QWidget;

namespace quillet::qt {

class TerminationSignals : public QObject {
 public:
  using Handler = std::function<void(int signalNumber)>;

  // Takes over SIGTERM, SIGINT and SIGHUP until destroyed; the previous
  // dispositions come back then. One instance at a time.
  explicit TerminationSignals(Handler onRequest, QObject* parent = nullptr);
  ~TerminationSignals() override;

  // Whether the signals could be taken over (a pipe was made).
  bool active() const { return notifier != nullptr; }

  static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

 private:
  void readRequests();

  Handler onRequest;
  int readEnd = -1, writeEnd = -1;
  QSocketNotifier* notifier = nullptr;  // child: owned by Qt
  std::vector<struct sigaction> previous;
  std::vector<int> seen;  // the signals already handled once
};

// Ends the program the way a user would: modal dialogs and message boxes
// are dismissed (their Escape answer), then the main window is closed, which
// runs its unload and lets the application quit. Without a main window the
// application is told to quit.
void closeApplicationPolitely(QWidget* mainWindow);

}  // namespace quillet::qt
