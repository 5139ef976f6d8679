#pragma once
#include <string>

namespace quillet {

// The maker's site, opened by the "Website" button.
std::string websiteAddress();
// The banner page shown along the bottom of the window.
std::string bannerAddress();

}  // namespace quillet
