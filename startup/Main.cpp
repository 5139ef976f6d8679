#include "startup/Main.h"

#include <memory>
#include <string>

#include "quillet/Addresses.h"

namespace quillet {
namespace {

constexpr const char* kTitle = "Quillet";
constexpr const char* kNoPlayer =
    "You need to have installed Flash Player prior to running this software. Do you want to "
    "download it now?";
constexpr const char* kOldPlayer =
    "You need to have installed Flash Player version 8 or higher prior to running this "
    "software. Do you want to download it now?";

}  // namespace

Module1::Module1(ComponentRegistry& components, MessageBox& messageBox, Processes& processes,
                 Trace& trace, std::function<void()> showForm1)
    : components(components),
      messageBox(messageBox),
      processes(processes),
      trace(trace, TraceArea::Startup),
      showForm1(std::move(showForm1)) {}

std::optional<int> Module1::Main() {
  bool flashFound = false;
  // Never used; held until Main returns, after the window's load has run.
  std::unique_ptr<ComponentInstance> flashProbe;

  // The highest version is tried first; a name that cannot be made is a miss.
  for (flashVersion = 10; flashVersion >= 1; --flashVersion) {
    const std::string progId = "ShockwaveFlash.ShockwaveFlash." + std::to_string(flashVersion);
    if (auto instance = components.create(progId)) {
      trace.ran("Main: create " + progId);
      flashProbe = std::move(instance);
      flashFound = true;
      break;
    }
    trace.skipped("Main: create " + progId, "it cannot be made");
  }

  if (!flashFound || flashVersion < 8) {
    const char* text = flashFound ? kOldPlayer : kNoPlayer;
    trace.skipped("Main: show the window", flashFound ? "the player component is older than 8"
                                                      : "no player component can be made");
    if (messageBox.askYesNoStop(text, kTitle) == Answer::Yes)
      // The program ends either way; a desktop without a URL handler just
      // leaves the page unopened.
      skipOnFailure(trace, "Main: open the download page",
                    processes.openUrl(addresses::kDownloadPage));
    return kExitPlayerMissing;
  }

  showForm1();
  return std::nullopt;
}

}  // namespace quillet
