#pragma once
// Everything the engine tells libmpv up front, in one place: its options,
// the properties it watches, and how an address becomes a loadfile command.

#include <mpv/client.h>

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "player/movie/FlashVars.h"

namespace quillet::player {

// Sets the options on a core that is not initialised yet; false when one
// that the engine cannot do without is refused.
bool applyMpvOptions(mpv_handle* mpv);

// The properties the engine watches, by the id their change events carry.
enum MpvProperty : std::uint64_t {
  kTimePos = 1,
  kDuration,
  kPause,
  kPausedForCache,
  kEofReached,
  kDisplayWidth,
  kDisplayHeight,
  kCacheState,
  kVideoFormat,
  kAudioCodec,
  kAudioSampleRate,
  kTitle,
  kSpeed,
};
void observeMpvProperties(mpv_handle* mpv);

// Reply tags of loadfile commands: this base plus the engine's count of
// open() calls; a core started early counts its own opening as the first.
inline constexpr std::uint64_t kLoadfileReplyBase = std::uint64_t{1} << 32;
inline constexpr std::uint64_t kEarlyGeneration = 1;

// The loadfile command's arguments for a file (the file system's bytes) or
// an http(s) address; the strings live as long as the caller's url. The
// form depends on the client API of the library in use, which may be newer
// than its headers.
std::vector<const char*> loadfileArguments(const QByteArray& url, bool network,
                                           unsigned long clientApi = mpv_client_api_version());

// The same for a stream through our FLV reader, whose key-frame index FFmpeg
// may use: it is built from the tags themselves.
std::vector<const char*> repairedLoadfileArguments(
    const QByteArray& url, unsigned long clientApi = mpv_client_api_version());
// The per-file options of such a stream, opened at startSeconds (0: at its
// start); the caller keeps them alive while the arguments are used.
QByteArray repairedFileOptions(double startSeconds = 0);
std::vector<const char*> repairedLoadfileArguments(
    const QByteArray& url, const QByteArray& fileOptions,
    unsigned long clientApi = mpv_client_api_version());

}  // namespace quillet::player
