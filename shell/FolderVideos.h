#pragma once
// The other videos of the current one's folder, for the keys and the media
// controls that go to the next or the previous one: the folder's .flv files
// (any case) in the order a file manager shows them, read again each time.

#include <string>
#include <string_view>

#include "platform/Files.h"
#include "platform/Trace.h"

namespace quillet {

// The path of the video `step` places after (+) or before (-) `current` in
// its folder, written as `current` is (relative stays relative). Nothing at
// either end, for an address that is no local path, for a video no longer
// in its folder, or when the folder cannot be listed (traced).
Maybe<std::string> NeighbourVideo(Files& files, Trace& trace, std::string_view current, int step);

}  // namespace quillet
