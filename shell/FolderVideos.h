#pragma once
// The other videos of the current one's folder, for the keys and the media
// controls that go to the next or the previous one: the folder's .flv files
// (any case) in the order a file manager shows them, as the folder is now.

#include <string>
#include <string_view>

#include "platform/Files.h"
#include "platform/Trace.h"

namespace quillet {

// The path of the video `step` places after (+) or before (-) `current` in
// its folder, written as `current` is (relative stays relative). Nothing at
// either end, for an address that is no local path, for a video no longer
// in its folder, or when the folder cannot be listed (traced).
// Opening the neighbour: the folder's latest listing when there is one,
// else the folder read at once.
Maybe<std::string> NeighbourVideo(Files& files, Trace& trace, std::string_view current, int step);

// Whether there is one, never waiting for the folder (asked often, by the
// media controls): nothing while the folder's first reading is under way;
// Files::setWhenListed tells when to ask again.
bool KnownNeighbour(Files& files, Trace& trace, std::string_view current, int step);

}  // namespace quillet
