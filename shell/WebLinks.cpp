#include "shell/WebLinks.h"

#include "quillet/Addresses.h"

namespace quillet {

std::string bannerAddress() {
  return std::string("http://") + addresses::kBannerHost + "/info.php?n=Quillet";
}

// Every click opens the site anew; a desktop without a URL handler just
// leaves the click without effect.
void Command1_Click(Processes& processes, Trace& trace) {
  skipOnFailure(AreaTrace(trace, TraceArea::Shell), "Command1_Click: open the web site",
                processes.openUrl(addresses::kWebsite));
}

}  // namespace quillet
