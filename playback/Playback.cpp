// The window's player, Playback: the player control, the idle player and
// the opening of a video (its full screen is in PlaybackFullScreen.cpp);
// and the helpers of the hosted control.
#include "playback/Playback.h"

#include <cstdint>

#include "platform/PercentEncoding.h"
#include "playback/Numbers.h"

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

// The length of the UTF-8 character that starts at text[at], or 0 when the
// byte there starts none (a stray, overlong or surrogate sequence).
std::size_t utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
  };
  const unsigned lead = byte(0);
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  else
    return 0;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

}  // namespace

Extender& controlOrNone(const std::shared_ptr<Extender>& control) {
  static NoControl none;
  return control ? *control : none;
}

std::string EncodeFlashVarsValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t at = 0; at < value.size();) {
    const std::size_t length = utf8Length(value, at);
    const std::string_view piece = value.substr(at, length ? length : 1);
    // A file name from an old archive may hold bytes that are no UTF-8.
    out += length ? percentEncode(piece, mustEscape)
                  : percentEncode(piece, [](unsigned char) { return true; });
    at += piece.size();
  }
  return out;
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
