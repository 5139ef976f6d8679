#include "player/EarlyStart.h"

#include <filesystem>
#include <future>
#include <utility>

#include "player/FlashVars.h"
#include "player/MpvOptions.h"

namespace quillet::player {

namespace {

// The thread's result, its one owner until taken. Main thread only.
std::future<std::optional<EarlyCore>>& earlyCore() {
  static std::future<std::optional<EarlyCore>> core;
  return core;
}

std::optional<EarlyCore> makeCore(QByteArray url) {
  MpvHandle mpv(mpv_create());
  if (!mpv || !applyMpvOptions(mpv.get()) || mpv_initialize(mpv.get()) < 0) return std::nullopt;
  RenderContext context = createRenderContext(mpv.get());
  if (!context) return std::nullopt;
  observeMpvProperties(mpv.get());
  if (!url.isEmpty()) {
    std::vector<const char*> args = loadfileArguments(url, false);
    args.push_back(nullptr);
    if (mpv_set_property_string(mpv.get(), "pause", "yes") < 0 ||
        mpv_command_async(mpv.get(), kLoadfileReplyBase + kEarlyGeneration, args.data()) < 0)
      url.clear();
  }
  return EarlyCore{std::move(mpv), std::move(context), std::move(url)};
}

}  // namespace

void startEngineEarly(const QString& address) {
  if (earlyCore().valid()) return;
  // The same checks as the engine's open(): only a regular local file; a
  // pipe with no writer would block the thread.
  QByteArray url;
  if (!address.isEmpty() && !isHttpAddress(address)) {
    const QString path = localFilePath(address);
    std::error_code error;
    if (!path.isEmpty() && std::filesystem::is_regular_file(bytesOf(path).toStdString(), error))
      url = bytesOf(path);
  }
  earlyCore() = std::async(std::launch::async, makeCore, std::move(url));
}

std::optional<EarlyCore> takeEarlyCore() {
  std::future<std::optional<EarlyCore>>& core = earlyCore();
  if (!core.valid()) return std::nullopt;
  return core.get();
}

}  // namespace quillet::player
