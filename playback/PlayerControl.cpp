#include "playback/PlayerControl.h"

#include <cstdint>

#include "platform/PercentEncoding.h"
#include "playback/Numbers.h"
#include "playback/Playback.h"

namespace quillet {

namespace {

constexpr const char* kIdleFlashVars =
    "fullscreen=false&autoplay=false&frontcolor=000000&backcolor=000000&effect=false";
constexpr const char* kVideoFlashVars =
    "fullscreen=true&autoplay=true&backcolor=000000&frontcolor=ffffff&flv=";

// Stands in for a control that could not be created.
class NoControl final : public Extender {
 public:
  Status setVisible(bool) override { return none(); }
  Status setTop(const Value&) override { return none(); }
  Status setWidth(const Value&) override { return none(); }
  Status setHeight(const Value&) override { return none(); }
  Status setProperty(const std::string&, const Value&) override { return none(); }
  Status call(const std::string&, const Values&) override { return none(); }
  void setEventHandler(EventHandler) override {}

 private:
  static Status none() { return Status::failed("no player control"); }
};

bool mustEscape(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '%' || c == '&' || c == '=' || c == '+' || c == '#';
}

}  // namespace

Extender& controlOrNone(const std::shared_ptr<Extender>& control) {
  static NoControl none;
  return control ? *control : none;
}

std::string EncodeFlashVarsValue(std::string_view value) {
  return percentEncode(value, mustEscape);
}

Playback::Playback(Window& window, Screen& screen, ControlHost& controls, Trace& trace,
                   const PlayerWindow& host)
    : window(window),
      screen(screen),
      controls(controls),
      trace(trace, TraceArea::Playback),
      host(host) {}

void Playback::CreatePlayerControl() {
  if (auto made = controls.add(kPlayerProgId, kPlayerControlName)) {
    ctrl = std::move(made);
    trace.ran("CreatePlayerControl");
    AttachEvents();
  } else {
    trace.skipped("CreatePlayerControl", std::string("no component made for ") + kPlayerProgId);
  }
}

void Playback::AttachEvents() {
  ctrlEvents.connect(ctrl, [this](const std::string& eventName, const Values& params) {
    ctrl_ObjectEvent(eventName, params);
  });
  trace.ran("AttachEvents");
}

void Playback::LoadIdlePlayer() {
  Extender& control = controlOrNone(ctrl);
  skipOnFailure(trace, "LoadIdlePlayer: WMode",
                control.setProperty("WMode", std::string("transparent")));
  skipOnFailure(trace, "LoadIdlePlayer: FlashVars",
                control.setProperty("FlashVars", std::string(kIdleFlashVars)));
  skipOnFailure(trace, "LoadIdlePlayer: Visible", control.setVisible(true));
  skipOnFailure(trace, "LoadIdlePlayer: Width", control.setWidth(std::int16_t{0}));
  skipOnFailure(trace, "LoadIdlePlayer: Height", control.setHeight(std::int16_t{0}));
  skipOnFailure(trace, "LoadIdlePlayer: LoadMovie",
                control.call("LoadMovie", {std::int16_t{0}, host.movieFile()}));
  skipOnFailure(trace, "LoadIdlePlayer: BackgroundColor",
                control.setProperty("BackgroundColor", std::int32_t{0}));
}

void Playback::GotADrop(std::string flvfile) {
  // Fixed-size buffers reach here with NUL filler behind the path.
  if (auto nul = flvfile.find('\0'); nul != std::string::npos) flvfile.resize(nul);

  Panel& panel = window.picture3();
  const double frameHeight = host.measuredFrameHeight();

  // A missing control (the creation at load failed) is no reason to stop.
  skipOnFailure(trace, "GotADrop: remove the previous control",
                controls.remove(kPlayerControlName));
  // When no new control can be made, ctrl keeps the removed one, on which
  // every step below fails and is skipped.
  CreatePlayerControl();

  Extender& control = controlOrNone(ctrl);
  skipOnFailure(trace, "GotADrop: WMode", control.setProperty("WMode", std::string("Transparent")));
  skipOnFailure(trace, "GotADrop: BGColor", control.setProperty("BGColor", std::string("000000")));
  skipOnFailure(trace, "GotADrop: Menu", control.setProperty("Menu", false));
  skipOnFailure(trace, "GotADrop: Quality2", control.setProperty("Quality2", std::string("High")));
  skipOnFailure(trace, "GotADrop: Visible", control.setVisible(true));
  skipOnFailure(trace, "GotADrop: Top", control.setTop(std::int16_t{0}));
  // The component percent-decodes FlashVars values, so the path is escaped
  // where it would otherwise be cut or altered.
  skipOnFailure(trace, "GotADrop: FlashVars",
                control.setProperty("FlashVars",
                                    std::string(kVideoFlashVars) + EncodeFlashVarsValue(flvfile)));
  skipOnFailure(trace, "GotADrop: LoadMovie",
                control.call("LoadMovie", {std::int16_t{0}, host.movieFile()}));

  // The control's size comes from the window's size before it changes below.
  {
    const auto h = window.height();
    const auto panelH = panel.height();
    skipOnFailure(trace, "GotADrop: control Height",
                  h && panelH ? toSingle(*h - *panelH - frameHeight) : std::nullopt,
                  [&](float v) { return control.setHeight(v); });
  }
  skipOnFailure(trace, "GotADrop: control Width", toSingle(window.width()),
                [&](float v) { return control.setWidth(v); });

  skipOnFailure(trace, "GotADrop: window Width", toSingle(320.0 * screen.twipsPerPixelX()),
                [&](float v) { return window.setWidth(v); });
  const auto panelH = panel.height();
  skipOnFailure(
      trace, "GotADrop: window Height",
      panelH ? toSingle(240.0 * screen.twipsPerPixelY() + *panelH - frameHeight) : std::nullopt,
      [&](float v) { return window.setHeight(v); });
}

}  // namespace quillet
