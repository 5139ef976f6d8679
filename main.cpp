// Wires the Qt platform, registers the player component and runs Main; then
// wires the desktop's media services to the player the window holds.

#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QSessionManager>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/qt/desktop/MprisService.h"
#include "platform/qt/desktop/PlayerSession.h"
#include "platform/qt/desktop/RecentFiles.h"
#include "platform/qt/desktop/ScreenSaverInhibitor.h"
#include "platform/qt/settings/QtRegistry.h"
#include "platform/qt/system/HeapArenas.h"
#include "platform/qt/system/QtFiles.h"
#include "platform/qt/system/QtProcesses.h"
#include "platform/qt/system/QtTrace.h"
#include "platform/qt/system/TerminationSignals.h"
#include "platform/qt/system/Translations.h"
#include "platform/qt/wayland/Decorations.h"
#include "platform/qt/wayland/IdleInhibitor.h"
#include "platform/qt/window/HeldPlayer.h"
#include "platform/qt/window/QtControlHost.h"
#include "platform/qt/window/QtDialogs.h"
#include "platform/qt/window/QtDrops.h"
#include "platform/qt/window/QtMessageBox.h"
#include "platform/qt/window/QtWindow.h"
#include "player/FlashPlayer.h"
#include "player/PlaybackControl.h"
#include "player/engine/EarlyStart.h"
#include "player/movie/FlashVars.h"
#include "quillet/Installation.h"
#include "shell/CommandLine.h"
#include "startup/Main.h"
#include "window/Form1.h"
#include "window/LoadError.h"

namespace {

// Exit code when the main window cannot set itself up.
constexpr int kExitWindowFailed = 4;

// Everything that exists only once Main decides to show the window.
struct ShownWindow {
  ShownWindow(quillet::qt::QtComponentRegistry& components, quillet::MessageBox& messageBox,
              quillet::Processes& processes, quillet::Trace& trace)
      : controls(window.widget(), components),
        platform{window, screen,   controls, components, messageBox, processes,
                 files,  registry, dialogs,  drops,      trace},
        form(platform),
        held([this](int step) { return form.OpenNeighbour(step); },
             [this](const QByteArray& path) { recent.add(path, QStringLiteral("video/x-flv")); }),
        mpris(session, {[this] { window.raise(); },
                        [this] { quillet::qt::closeApplicationPolitely(&window.widget()); },
                        [this](const std::string& path) { form.GotADrop(path); },
                        [this](int step) { return form.HasNeighbour(step); },
                        [this](int step) { held.openNeighbour(step); }}),
        screenSaver(session),
        idleInhibitor(session, window.widget()) {
    // The folder's listing is read off the GUI thread: once it is in, the
    // media controls learn whether there is a next or previous video.
    files.setWhenListed([this] { mpris.neighboursChanged(); });
    controls.setAddedHandler([this](const std::string&, QWidget& component) {
      session.follow(quillet::player::playbackOf(&component));
      held.follow(quillet::player::playbackOf(&component));
    });
    window.setFullScreenEndedHandler([this] { held.fullScreenEnded(); });
  }

  // Once the window is up: claiming names on the bus costs a few round trips.
  void startDesktopServices() {
    QTimer::singleShot(0, &window.widget(), [this] {
      mpris.registerOnSessionBus();
      screenSaver.start();
      idleInhibitor.start();
    });
  }

  quillet::qt::QtWindow window;
  quillet::qt::QtScreen screen{window};
  quillet::qt::QtControlHost controls;
  quillet::qt::QtFiles files;
  quillet::qt::QtRegistry registry;
  quillet::qt::QtDialogs dialogs;
  quillet::qt::QtDrops drops;
  quillet::Platform platform;
  quillet::Form1 form;
  quillet::qt::RecentFiles recent{{QStringLiteral("Quillet"), QStringLiteral("quillet %f")}};
  quillet::qt::HeldPlayer held;
  // They go first, the inhibition given back while the bus still answers.
  quillet::qt::PlayerSession session;
  quillet::qt::MprisService mpris;
  quillet::qt::ScreenSaverInhibitor screenSaver;
  quillet::qt::WaylandIdleInhibitor idleInhibitor;
};

constexpr const char* kUsage =
    "Usage: quillet [VIDEO]\n"
    "Plays a Flash Video (.flv) file, given by its path or an http(s) address.\n"
    "Everything after the program's name is taken as one path, blanks included.\n"
    "\n"
    "  --help       show this text and exit (when it is the only argument)\n"
    "  --version    show the version and exit (when it is the only argument)\n"
    "\n"
    "See quillet(1) for the files it writes and the exit codes.\n";

// The argument text as the program's logic sees it: arguments joined by
// single blanks. Answered before Qt starts, so that no display is needed.
std::optional<int> answerInfoRequest(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) text += (i > 1 ? " " : "") + std::string(argv[i]);
  switch (quillet::infoRequest(text)) {
    case quillet::InfoRequest::Usage:
      std::fputs(kUsage, stdout);
      return 0;
    case quillet::InfoRequest::Version:
      std::printf("quillet %s\n", QUILLET_VERSION);
      return 0;
    case quillet::InfoRequest::None:
      break;
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  if (auto exitCode = answerInfoRequest(argc, argv)) return *exitCode;
  quillet::qt::limitHeapArenas();
  // The banner's web engine refuses to run as root with its sandbox on and
  // would take the whole program down with it.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QApplication app(argc, argv);
  // libmpv cannot start under any other numeric locale.
  std::setlocale(LC_NUMERIC, "C");
  quillet::qt::installTranslations(app);
  // Taken from argv, which QApplication has stripped of the options it
  // handled: QApplication::arguments() would turn a file name that is not
  // UTF-8 into other bytes.
  quillet::qt::QtProcesses processes(std::vector<std::string>(argv + 1, argv + argc));
  // libmpv sets itself up and decodes the video's first frame on a thread of
  // its own while the window is made; only now, with the locale it needs.
  quillet::player::startEngineEarly(
      quillet::player::textOf(quillet::GetCommandArgument(processes, "")));
  QApplication::setApplicationName("Quillet");
  QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
  QApplication::setDesktopFileName(QString::fromLatin1(quillet::installation::kAppId));
  QApplication::setWindowIcon(QIcon(":/quillet/icons/quillet-256.png"));
  // The web engine reports its set-up on every start; the program itself is
  // silent unless QT_LOGGING_RULES asks for its trace (platform/qt/system/QtTrace.h).
  QLoggingCategory::setFilterRules("qt.webenginecontext.info=false");
  quillet::qt::leaveTitleBarsToTheCompositor();

  quillet::qt::QtComponentRegistry components;
  for (const char* progId : {quillet::player::kProgId, quillet::player::kVersionedProgId})
    components.registerComponent(progId, quillet::player::createFlashPlayer);
  quillet::qt::QtMessageBox messageBox;
  quillet::qt::QtTrace trace;

  std::unique_ptr<ShownWindow> mainWindow;
  // A polite request to end (SIGTERM, SIGINT, SIGHUP) and the session's logout
  // close the window the normal way, so that its unload removes the
  // temporary movie; a quit from anywhere else still runs the unload.
  const auto endPolitely = [&] {
    quillet::qt::closeApplicationPolitely(mainWindow ? &mainWindow->window.widget() : nullptr);
  };
  quillet::qt::TerminationSignals termination([&](int) { endPolitely(); });
#if QT_CONFIG(sessionmanager)
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                   [&](QSessionManager&) { endPolitely(); });
#endif
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&] {
    if (mainWindow) mainWindow->window.widget().close();
  });
  quillet::Module1 module1(components, messageBox, processes, trace, [&] {
    if (!mainWindow)
      mainWindow = std::make_unique<ShownWindow>(components, messageBox, processes, trace);
    mainWindow->form.Show();
    mainWindow->startDesktopServices();
  });

  try {
    if (auto exitCode = module1.Main()) return *exitCode;
  } catch (const quillet::WindowLoadError&) {
    return kExitWindowFailed;
  }
  const int exitCode = app.exec();
  // The window has unloaded; the player and the banner's helper stop here.
  mainWindow.reset();
  // Nothing of the program's is left. A host lookup the banner started can
  // still be waiting for the resolver in a thread of Qt's, and Qt's clean-up
  // at exit would wait with it, for half a minute or more when no name
  // server answers: a closed window would leave the program running. Files
  // the program made and has not deleted still go (at_quick_exit).
  std::fflush(nullptr);
  std::quick_exit(exitCode);
}
