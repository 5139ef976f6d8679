#pragma once
// Form1's window on Qt: a top-level widget whose client area holds the
// player area, the bottom panel Picture3 (with the Open File and Website
// buttons and the association check box) and the banner strip WebBrowser1.
// Sizes are spoken in twips; the outer size adds the window manager's frame.

#include <QTimer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <optional>

#include "platform/Window.h"
#include "platform/qt/x11/FrameExtents.h"

class QCheckBox;
class QFrame;
class QPushButton;

namespace quillet::qt {

class QtBanner;
class QtWindow;
class WaylandToplevel;

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
  QtWindow(const QtWindow&) = delete;
  QtWindow& operator=(const QtWindow&) = delete;

  void setEvents(WindowEvents* events) override;
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
  // border, none for the borderless window. Until the window manager has
  // told it, the decorated window's frame reads as none.
  FrameExtents frameExtents() const;

 private:
  friend class FormWidget;
  class PanelImpl;
  class CheckImpl;

  double tppX() const;
  double tppY() const;
  void applyBorderStyle();
  void applyNativeBorder();
  void applyWaylandState();
  void onRequestExpired();
  Status resizeClient(QSize size);
  void reportResize();
  void onResized();
  void onClose();
  void onFrameWatch(FrameWatch::Change change);
  void followFrame();
  void centreOnScreen();

  QtWindowOptions options;
  std::unique_ptr<FormWidget> form;
  QFrame* panelFrame = nullptr;  // children of form, owned by Qt
  QPushButton* openFile = nullptr;
  QPushButton* command1 = nullptr;
  QCheckBox* checkBox = nullptr;
  std::unique_ptr<QtBanner> bannerStrip;
  std::unique_ptr<PanelImpl> panel;
  std::unique_ptr<CheckImpl> check;

  WindowEvents* events = nullptr;
  int requestedBorder = kBorderSizable;  // applied when the caption is set
  int appliedBorder = kBorderSizable;
  // The window manager's frame for the decorated window, once it has told
  // it: asked for once, then followed as the window manager changes it.
  mutable std::optional<FrameExtents> decoratedFrame;
  mutable bool frameAsked = false;
  std::unique_ptr<FrameWatch> frameWatch;
  // On Wayland: the compositor places the window and grants full screen.
  std::unique_ptr<WaylandToplevel> wayland;
  bool frameFollowQueued = false;
  // After the window takes its border back, until its new hints reach the
  // X server, what the window manager says is about the borderless window.
  bool awaitingOwnHints = false;
  QSize laidOutSize;                   // the client size Form_Resize last saw
  FrameExtents laidOutFrame;           // the frame the outer size had then
  std::optional<QSize> requestedSize;  // a size set by the program, not yet confirmed
  QTimer requestExpiry;
  bool ownResize = false;  // inside the program's own resize() call
  bool shownBefore = false;
  bool placed = false;  // a position was set, so the first display keeps it
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
