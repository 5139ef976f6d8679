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
                 std::function<void()> showForm1)
    : components(components),
      messageBox(messageBox),
      processes(processes),
      showForm1(std::move(showForm1)) {}

std::optional<int> Module1::Main() {
  bool flashFound = false;
  // Never used; held until Main returns, after the window's load has run.
  std::unique_ptr<ComponentInstance> flashProbe;

  // The highest version is tried first; a name that cannot be made is a miss.
  for (flashVersion = 10; flashVersion >= 1; --flashVersion) {
    if (auto instance =
            components.create("ShockwaveFlash.ShockwaveFlash." + std::to_string(flashVersion))) {
      flashProbe = std::move(instance);
      flashFound = true;
      break;
    }
  }

  if (!flashFound || flashVersion < 8) {
    const char* text = flashFound ? kOldPlayer : kNoPlayer;
    if (messageBox.askYesNoStop(text, kTitle) == Answer::Yes)
      // The program ends either way; a desktop without a URL handler just
      // leaves the page unopened.
      skipOnFailure(processes.openUrl(addresses::kDownloadPage));
    return kExitPlayerMissing;
  }

  showForm1();
  return std::nullopt;
}

}  // namespace quillet
