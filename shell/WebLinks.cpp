#include "shell/WebLinks.h"

#include "quillet/Addresses.h"
#include "window/Form1.h"

namespace quillet {

std::string websiteAddress() {
  return addresses::kWebsite;
}

std::string bannerAddress() {
  return std::string("http://") + addresses::kBannerHost + "/info.php?n=Quillet";
}

// Every click opens the site anew; a desktop without a URL handler just
// leaves the click without effect.
void Form1::Command1_Click() {
  skipOnFailure(platform.processes.openUrl(websiteAddress()));
}

}  // namespace quillet
