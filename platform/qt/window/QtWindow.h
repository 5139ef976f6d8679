#pragma once
// Form1's window on Qt: a top-level widget whose client area holds the
// player area, the bottom panel Picture3 (with the Open File and Website
// buttons and the association check box) and the banner strip WebBrowser1.
// Sizes are spoken in twips; the outer size adds the window manager's frame.
// What differs between X11 and Wayland is the display server's part.

#include <QMargins>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Window.h"

class QCheckBox;
class QFrame;
class QPushButton;

namespace quillet::qt {

class DisplayServer;
class QtBanner;
class QtWindow;

// The top-level widget itself; it reports its size changes and its closing.
class FormWidget : public QWidget {
  Q_OBJECT
 public:
  explicit FormWidget(QtWindow& owner) : owner(owner) {}

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QtWindow& owner;
};

struct QtWindowOptions {
  // How long after the first display the banner's web engine is started, so
  // that it never delays the window or the first video frame; nullopt keeps
  // it from starting at all (tests that must stay off the network).
  std::optional<std::chrono::milliseconds> bannerDelay = std::chrono::milliseconds(1000);
};

class QtWindow : public Window {
 public:
  explicit QtWindow(QtWindowOptions options = {});
  ~QtWindow() override;

  void setEvents(WindowEvents* e) override { events = e; }
  Maybe<double> width() const override;
  Maybe<double> height() const override;
  Status setWidth(double twips) override;
  Status setHeight(double twips) override;
  Status setTop(double twips) override;
  Status setLeft(double twips) override;
  Maybe<double> outerTop() const override;
  Maybe<double> outerLeft() const override;
  Status setBorderStyle(int style) override;
  Status setCaption(const std::string& caption) override;
  WindowHandle hWnd() const override;
  Status show() override;
  void learnFrame() override;
  Panel& picture3() override;
  WebBrowser& webBrowser1() override;
  CheckBox& check1() override;

  // The widgets, for the program's wiring (the control host adds its
  // components to the client area) and for tests.
  QWidget& widget() { return *form; }
  QFrame& picture3Widget() { return *panelFrame; }
  QPushButton& openFileButton() { return *openFile; }
  QPushButton& command1Button() { return *command1; }
  QCheckBox& check1Box() { return *checkBox; }
  QtBanner& banner() { return *bannerStrip; }
  // The frame the outer size includes: the window manager's for the sizable
  // border, none for the borderless window. Until the load has learnt it,
  // the decorated window's frame reads as none.
  QMargins frame() const;
  // Runs when the display server ends full screen on its own (the
  // compositor refused it or took it back): whoever asked for it leaves it
  // as it would have, so that its state follows the compositor's.
  void setFullScreenEndedHandler(std::function<void()> handler);
  // Brings the window to the front, out of its minimised state.
  void raise();

 private:
  friend class FormWidget;
  class PanelImpl;
  class CheckImpl;

  double tppX() const;
  double tppY() const;
  void applyBorderStyle();
  void onRequestExpired();
  Status resizeClient(QSize size);
  void reportResize();
  void onResized();
  void onClose();
  void onFrameChanged();
  void onFullScreenEnded(QSize before);

  QtWindowOptions options;
  std::unique_ptr<FormWidget> form;
  QFrame* panelFrame = nullptr;  // children of form, owned by Qt
  QPushButton* openFile = nullptr;
  QPushButton* command1 = nullptr;
  QCheckBox* checkBox = nullptr;
  std::unique_ptr<QtBanner> bannerStrip;
  std::unique_ptr<PanelImpl> panel;
  std::unique_ptr<CheckImpl> check;
  // Wayland's part, or X11's (also off both), chosen when the window is made.
  std::unique_ptr<DisplayServer> display;

  WindowEvents* events = nullptr;
  std::function<void()> fullScreenEnded;
  int requestedBorder = kBorderSizable;  // applied when the caption is set
  int appliedBorder = kBorderSizable;
  QSize laidOutSize;                   // the client size Form_Resize last saw
  QMargins laidOutFrame;               // the frame the outer size had then
  std::optional<QSize> requestedSize;  // a size set by the program, not yet confirmed
  QTimer requestExpiry;
  bool ownResize = false;  // inside the program's own resize() call
  bool shownBefore = false;
  bool unloaded = false;
};

// The screen the window is on.
class QtScreen : public Screen {
 public:
  explicit QtScreen(QtWindow& window) : window(window) {}
  double twipsPerPixelX() const override;
  double twipsPerPixelY() const override;
  Maybe<double> widthTwips() const override;
  Maybe<double> heightTwips() const override;
  Maybe<double> leftTwips() const override;
  Maybe<double> topTwips() const override;

 private:
  QtWindow& window;
};

}  // namespace quillet::qt
