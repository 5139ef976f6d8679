// Wires the Qt platform, registers the player component and runs Main.

#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QSessionManager>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/Platform.h"
#include "platform/qt/HeapArenas.h"
#include "platform/qt/QtControlHost.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtDrops.h"
#include "platform/qt/QtFiles.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/qt/QtProcesses.h"
#include "platform/qt/QtRegistry.h"
#include "platform/qt/QtWindow.h"
#include "platform/qt/TerminationSignals.h"
#include "player/FlashPlayer.h"
#include "startup/Main.h"
#include "window/Form1.h"
#include "window/LoadError.h"

namespace {

// Exit code when the main window cannot set itself up.
constexpr int kExitWindowFailed = 4;

// Everything that exists only once Main decides to show the window.
struct MainWindow {
  MainWindow(quillet::qt::QtComponentRegistry& components, quillet::MessageBox& messageBox,
             quillet::Processes& processes)
      : controls(window.widget(), components),
        platform{window,    screen, controls, components, messageBox,
                 processes, files,  registry, dialogs,    drops},
        form(platform) {}

  quillet::qt::QtWindow window;
  quillet::qt::QtScreen screen{window};
  quillet::qt::QtControlHost controls;
  quillet::qt::QtFiles files;
  quillet::qt::QtRegistry registry;
  quillet::qt::QtDialogs dialogs;
  quillet::qt::QtDrops drops;
  quillet::Platform platform;
  quillet::Form1 form;
};

}  // namespace

int main(int argc, char** argv) {
  quillet::qt::limitHeapArenas();
  // The banner's web engine refuses to run as root with its sandbox on and
  // would take the whole program down with it.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QApplication app(argc, argv);
  // libmpv cannot start under any other numeric locale.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName("Quillet");
  QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
  QApplication::setDesktopFileName("quillet");
  QApplication::setWindowIcon(QIcon(":/quillet/icons/quillet-256.png"));
  // The web engine reports its set-up on every start; the program itself is silent.
  QLoggingCategory::setFilterRules("qt.webenginecontext.info=false");

  quillet::qt::QtComponentRegistry components;
  components.registerComponent(quillet::player::kProgId, quillet::player::createFlashPlayer);
  components.registerComponent(quillet::player::kVersionedProgId,
                               quillet::player::createFlashPlayer);
  quillet::qt::QtMessageBox messageBox;
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  quillet::qt::QtProcesses processes(arguments);

  std::unique_ptr<MainWindow> mainWindow;
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
  quillet::Module1 module1(components, messageBox, processes, [&] {
    if (!mainWindow) mainWindow = std::make_unique<MainWindow>(components, messageBox, processes);
    mainWindow->form.Show();
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
  // server answers: a closed window would leave the program running.
  std::fflush(nullptr);
  std::_Exit(exitCode);
}
