#include "playback/PlayerControl.h"

#include <cstdint>

#include "platform/PercentEncoding.h"
#include "playback/Numbers.h"
#include "window/Form1.h"

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

void Form1::CreatePlayerControl() {
  if (auto made = platform.controls.add(kPlayerProgId, kPlayerControlName)) {
    ctrl = std::move(made);
    AttachEvents();
  }
}

void Form1::AttachEvents() {
  ctrlEvents.connect(ctrl, [this](const std::string& eventName, const Values& params) {
    ctrl_ObjectEvent(eventName, params);
  });
}

void Form1::LoadIdlePlayer() {
  Extender& control = controlOrNone(ctrl);
  skipOnFailure(control.setProperty("WMode", std::string("transparent")));
  skipOnFailure(control.setProperty("FlashVars", std::string(kIdleFlashVars)));
  skipOnFailure(control.setVisible(true));
  skipOnFailure(control.setWidth(std::int16_t{0}));
  skipOnFailure(control.setHeight(std::int16_t{0}));
  skipOnFailure(control.call("LoadMovie", {std::int16_t{0}, moviePath}));
  skipOnFailure(control.setProperty("BackgroundColor", std::int32_t{0}));
}

void Form1::GotADrop(std::string flvfile) {
  // Fixed-size buffers reach here with NUL filler behind the path.
  if (auto nul = flvfile.find('\0'); nul != std::string::npos) flvfile.resize(nul);

  Window& window = platform.window;
  Panel& panel = window.picture3();

  // A missing control (the creation at load failed) is no reason to stop.
  skipOnFailure(platform.controls.remove(kPlayerControlName));
  // When no new control can be made, ctrl keeps the removed one, on which
  // every step below fails and is skipped.
  CreatePlayerControl();

  Extender& control = controlOrNone(ctrl);
  skipOnFailure(control.setProperty("WMode", std::string("Transparent")));
  skipOnFailure(control.setProperty("BGColor", std::string("000000")));
  skipOnFailure(control.setProperty("Menu", false));
  skipOnFailure(control.setProperty("Quality2", std::string("High")));
  skipOnFailure(control.setVisible(true));
  skipOnFailure(control.setTop(std::int16_t{0}));
  // The component percent-decodes FlashVars values, so the path is escaped
  // where it would otherwise be cut or altered.
  skipOnFailure(control.setProperty("FlashVars",
                                    std::string(kVideoFlashVars) + EncodeFlashVarsValue(flvfile)));
  skipOnFailure(control.call("LoadMovie", {std::int16_t{0}, moviePath}));

  // The control's size comes from the window's size before it changes below.
  if (auto h = window.height(), panelH = panel.height(); h && panelH) {
    if (auto v = toSingle(*h - *panelH - static_cast<double>(frameHeight)))
      skipOnFailure(control.setHeight(*v));
  }
  if (auto w = toSingle(window.width())) skipOnFailure(control.setWidth(*w));

  if (auto w = toSingle(320.0 * platform.screen.twipsPerPixelX()))
    skipOnFailure(window.setWidth(*w));
  if (auto panelH = panel.height()) {
    double h =
        240.0 * platform.screen.twipsPerPixelY() + *panelH - static_cast<double>(frameHeight);
    if (auto v = toSingle(h)) skipOnFailure(window.setHeight(*v));
  }
}

}  // namespace quillet
