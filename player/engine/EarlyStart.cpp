#include "player/engine/EarlyStart.h"

#include <future>
#include <utility>
#include <vector>

#include "player/engine/FlvStreams.h"
#include "player/engine/MpvEngine.h"
#include "player/engine/MpvOptions.h"
#include "player/movie/FlashVars.h"

namespace quillet::player {

namespace {

// The thread's result, its one owner until taken. Main thread only.
std::future<std::optional<MpvCore>>& earlyCore() {
  static std::future<std::optional<MpvCore>> core;
  return core;
}

std::optional<MpvCore> makeCoreOpening(std::unique_ptr<RenderBackend> backend, QByteArray url) {
  std::optional<MpvCore> core = makeMpvCore(std::move(backend));
  // Without its render context the core would open the video without its
  // picture: a backend that attaches on its own thread leaves the open to it.
  if (!core || url.isEmpty() || !core->backend->attachesOnAnyThread()) return core;
  // An FLV goes through the reader, as the engine's own opens do.
  std::optional<RepairedFlv> flv = openRepairedFlv(url);
  std::vector<const char*> args =
      flv ? repairedLoadfileArguments(flv->url) : loadfileArguments(url, false);
  args.push_back(nullptr);
  if (mpv_set_property_string(core->mpv.get(), "pause", "yes") >= 0 &&
      mpv_command_async(core->mpv.get(), kLoadfileReplyBase + kEarlyGeneration, args.data()) >= 0) {
    core->openedUrl = std::move(url);
    if (flv) core->flv = std::move(flv->reader);
  }
  return core;
}

}  // namespace

void startEngineEarly(const QString& address) {
  if (earlyCore().valid()) return;
  // Only what the engine's open() would open: a regular local file.
  QByteArray url;
  if (!address.isEmpty() && !isHttpAddress(address)) {
    const QString path = localFilePath(address);
    if (isRegularFile(path)) url = bytesOf(path);
  }
  earlyCore() =
      std::async(std::launch::async, makeCoreOpening, createRenderBackend(), std::move(url));
}

std::optional<MpvCore> makeMpvCore(std::unique_ptr<RenderBackend> backend) {
  MpvHandle mpv(mpv_create());
  if (!backend || !mpv || !applyMpvOptions(mpv.get()) || mpv_initialize(mpv.get()) < 0 ||
      !addFlvProtocols(mpv.get()))
    return std::nullopt;
  if (backend->attachesOnAnyThread() && !backend->attach(mpv.get())) return std::nullopt;
  observeMpvProperties(mpv.get());
  return MpvCore{std::move(mpv), std::move(backend), {}, {}};
}

std::optional<MpvCore> takeEarlyCore() {
  std::future<std::optional<MpvCore>>& core = earlyCore();
  if (!core.valid()) return std::nullopt;
  return core.get();
}

}  // namespace quillet::player
