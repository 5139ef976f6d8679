#include "platform/qt/window/QtWindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/qt/banner/QtBanner.h"
#include "platform/qt/wayland/WaylandToplevel.h"
#include "platform/qt/window/Twips.h"

namespace quillet::qt {
namespace {

// The designed window and its controls, in twips.
struct Rect {
  double left, top, width, height;
};
constexpr double kDesignClientWidth = 11550, kDesignClientHeight = 6255;
constexpr Rect kWebBrowser1{0, 4920, 5775, 1215};
constexpr Rect kPicture3{0, 4125, 4860, 720};
constexpr Rect kCommand1{1395, 195, 1260, 345};
constexpr Rect kCheck1{2715, 270, 2655, 255};
constexpr Rect kOpenFile{90, 195, 1260, 345};

// How long the load waits for the window manager to tell the frame it will
// draw. It answers within a millisecond on an idle desktop, but a busy one
// (log-in, a full test run beside other work) has taken more than a second;
// the window is not shown yet, so the wait only delays its first display. A
// later answer still reaches the window, which then lays itself out again.
constexpr std::chrono::milliseconds kFrameAnswerBound(5000);

int px(double twips, double tpp) {
  return static_cast<int>(std::lround(twips / tpp));
}

QRect toPixels(const Rect& r, double tppX, double tppY) {
  return QRect(px(r.left, tppX), px(r.top, tppY), px(r.width, tppX), px(r.height, tppY));
}

void paintWhite(QWidget& w) {
  QPalette p = w.palette();
  p.setColor(QPalette::Window, Qt::white);
  // A check box fills its background with the button colour; the push
  // buttons keep theirs.
  if (qobject_cast<QCheckBox*>(&w)) p.setColor(QPalette::Button, Qt::white);
  w.setPalette(p);
  w.setAutoFillBackground(true);
}

// The sizes window managers draw; every one goes to the X server each time
// the native window is made (three times at start-up), so the 256-pixel one
// stays with the icon theme.
QIcon programIcon() {
  QIcon icon;
  for (int size : {32, 48, 64, 128}) {
    const QString file = QStringLiteral(":/quillet/icons/quillet-%1.png").arg(size);
    if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
  }
  return icon;
}

// For screen readers the window is a window (Qt would offer a plain widget
// as a filler) and the borderless panel a panel (a QFrame reads as a frame,
// the role of a top-level window).
QAccessibleInterface* windowAccessible(const QString& className, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (!widget) return nullptr;
  if (className == QLatin1String("quillet::qt::FormWidget"))
    return new QAccessibleWidget(widget, QAccessible::Window);
  if (className == QLatin1String("QFrame") && widget->objectName() == QLatin1String("Picture3"))
    return new QAccessibleWidget(widget, QAccessible::Pane);
  return nullptr;
}

}  // namespace

class QtWindow::PanelImpl : public Panel {
 public:
  explicit PanelImpl(QFrame& frame) : frame(&frame) {}
  Maybe<double> height() const override {
    if (!frame) return std::nullopt;
    return frame->height() * twipsPerPixelY(frame);
  }
  Status setTop(double twips) override {
    if (!frame) return Status::failed("panel gone");
    auto y = toPixels(twips, twipsPerPixelY(frame));
    if (!y) return Status::failed("invalid top");
    frame->move(frame->x(), *y);
    return Status::ok();
  }
  Status setWidth(double twips) override {
    if (!frame) return Status::failed("panel gone");
    auto w = toPixelSize(twips, twipsPerPixelX(frame));
    if (!w) return Status::failed("invalid width");
    frame->resize(*w, frame->height());
    return Status::ok();
  }
  Status setVisible(bool visible) override {
    if (!frame) return Status::failed("panel gone");
    frame->setVisible(visible);
    return Status::ok();
  }

 private:
  QPointer<QFrame> frame;
};

class QtWindow::CheckImpl : public CheckBox {
 public:
  explicit CheckImpl(QCheckBox& box) : box(&box) {}
  int value() const override { return box && box->isChecked() ? 1 : 0; }

 private:
  QPointer<QCheckBox> box;
};

void FormWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  owner.onResized();
}

void FormWidget::closeEvent(QCloseEvent* event) {
  owner.onClose();
  event->accept();
}

QtWindow::QtWindow(QtWindowOptions options)
    : options(options), form(std::make_unique<FormWidget>(*this)) {
  static const bool accessible = (QAccessible::installFactory(windowAccessible), true);
  (void)accessible;
  requestExpiry.setSingleShot(true);
  requestExpiry.setInterval(std::chrono::milliseconds(500));
  QObject::connect(&requestExpiry, &QTimer::timeout, [this] { onRequestExpired(); });
  const double tx = tppX(), ty = tppY();
  form->setObjectName("Form1");
  form->setWindowTitle("Quillet");
  form->setWindowIcon(programIcon());
  paintWhite(*form);
  form->resize(px(kDesignClientWidth, tx), px(kDesignClientHeight, ty));
  laidOutSize = form->size();

  // Containers before their children, as designed.
  bannerStrip = std::make_unique<QtBanner>(*form);
  bannerStrip->strip().setGeometry(toPixels(kWebBrowser1, tx, ty));

  panelFrame = new QFrame(form.get());
  panelFrame->setObjectName("Picture3");
  panelFrame->setFrameShape(QFrame::NoFrame);
  paintWhite(*panelFrame);
  panelFrame->setGeometry(toPixels(kPicture3, tx, ty));

  command1 = new QPushButton(QCoreApplication::translate("Form1", "Website"), panelFrame);
  command1->setObjectName("Command1");
  command1->setGeometry(toPixels(kCommand1, tx, ty));

  checkBox =
      new QCheckBox(QCoreApplication::translate("Form1", "Associate with .flv files"), panelFrame);
  checkBox->setObjectName("Check1");
  checkBox->setChecked(true);
  paintWhite(*checkBox);
  checkBox->setGeometry(toPixels(kCheck1, tx, ty));

  openFile = new QPushButton(QCoreApplication::translate("Form1", "Open File"), panelFrame);
  openFile->setObjectName("OpenFile");
  openFile->setGeometry(toPixels(kOpenFile, tx, ty));

  // Tab order: Open File, the check box, Website, then the banner.
  QWidget& strip = bannerStrip->strip();
  strip.setFocusPolicy(Qt::TabFocus);
  strip.setAccessibleName(QCoreApplication::translate("Form1", "Banner"));
  QWidget::setTabOrder(openFile, checkBox);
  QWidget::setTabOrder(checkBox, command1);
  QWidget::setTabOrder(command1, &strip);
  // The keyboard starts where the tab order does.
  openFile->setFocus(Qt::OtherFocusReason);

  QObject::connect(openFile, &QPushButton::clicked, form.get(), [this] {
    if (events) events->OpenFile_Click();
  });
  QObject::connect(command1, &QPushButton::clicked, form.get(), [this] {
    if (events) events->Command1_Click();
  });
  QObject::connect(checkBox, &QCheckBox::clicked, form.get(), [this] {
    if (events) events->Check1_Click();
  });

  panel = std::make_unique<PanelImpl>(*panelFrame);
  check = std::make_unique<CheckImpl>(*checkBox);

  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb"))
    frameWatch = std::make_unique<FrameWatch>(
        *form, [this](FrameWatch::Change change) { onFrameWatch(change); });
  else if (platform == QLatin1String("wayland"))
    wayland =
        std::make_unique<WaylandToplevel>(*form, [this](QSize size) { (void)resizeClient(size); });
}

QtWindow::~QtWindow() {
  events = nullptr;
  frameWatch.reset();
  wayland.reset();
  bannerStrip.reset();
  form.reset();
}

double QtWindow::tppX() const {
  return twipsPerPixelX(form.get());
}
double QtWindow::tppY() const {
  return twipsPerPixelY(form.get());
}

FrameExtents QtWindow::frameExtents() const {
  if (appliedBorder == kBorderNone) return {};
  // On Wayland the frame is what Qt draws itself (measured before show when
  // first asked), and stays so: the frame height the layout was measured with and
  // the outer size never part.
  if (wayland) {
    if (!decoratedFrame) {
      const QMargins m = wayland->frame();
      decoratedFrame = FrameExtents{m.left(), m.right(), m.top(), m.bottom()};
    }
    return *decoratedFrame;
  }
  if (!decoratedFrame && !frameAsked) {
    frameAsked = true;
    const FrameAnswer answer = requestFrameExtents(*form, kFrameAnswerBound);
    if (answer.kind != FrameAnswer::Kind::NoAnswer) decoratedFrame = answer.extents;
  }
  return decoratedFrame.value_or(FrameExtents{});
}

// Runs inside Qt's native event handling: only takes note, and reads the
// frame once the event loop is free.
void QtWindow::onFrameWatch(FrameWatch::Change change) {
  if (change == FrameWatch::Change::OwnHints) {
    awaitingOwnHints = false;
    return;
  }
  if (frameFollowQueued) return;
  frameFollowQueued = true;
  QMetaObject::invokeMethod(
      form.get(), [this] { followFrame(); }, Qt::QueuedConnection);
}

// The window manager changed the frame it draws (it answered late, or its
// decoration changed): the outer size and the layout follow.
void QtWindow::followFrame() {
  frameFollowQueued = false;
  if (appliedBorder == kBorderNone || awaitingOwnHints) return;
  if (form->windowFlags().testFlag(Qt::FramelessWindowHint)) return;
  const std::optional<FrameExtents> announced = announcedFrameExtents(*form);
  if (!announced || announced == decoratedFrame) return;
  decoratedFrame = announced;
  frameAsked = true;
  if (*announced != laidOutFrame) reportResize();
}

void QtWindow::setEvents(WindowEvents* e) {
  events = e;
}

Maybe<double> QtWindow::width() const {
  const FrameExtents e = frameExtents();
  return (form->width() + e.left + e.right) * tppX();
}

Maybe<double> QtWindow::height() const {
  const FrameExtents e = frameExtents();
  return (form->height() + e.top + e.bottom) * tppY();
}

Status QtWindow::setWidth(double twips) {
  auto outer = toPixelSize(twips, tppX());
  if (!outer) return Status::failed("invalid width");
  const FrameExtents e = frameExtents();
  return resizeClient(QSize(std::max(1, *outer - e.left - e.right), form->height()));
}

Status QtWindow::setHeight(double twips) {
  auto outer = toPixelSize(twips, tppY());
  if (!outer) return Status::failed("invalid height");
  const FrameExtents e = frameExtents();
  return resizeClient(QSize(form->width(), std::max(1, *outer - e.top - e.bottom)));
}

// A size change reaches Form_Resize before the setter returns. A visible
// window already reports it from inside resize(); a hidden one is told here.
//
// The window manager confirms a size the program set some time later, and
// when width and height are set one after the other it may first echo the
// half-done size. Those echoes are not the user's doing and must not lay the
// window out again after the program has placed its controls (full screen
// sets the player's size right after the window's), so resize events are
// ignored until the requested size comes back or the request goes stale.
Status QtWindow::resizeClient(QSize size) {
  // No compositor would show more than the output: the size is bounded here,
  // where the window's frame is known.
  if (wayland) {
    const FrameExtents e = frameExtents();
    const QSize room = wayland->room(QMargins(e.left, e.top, e.right, e.bottom));
    if (room.isValid()) size = size.boundedTo(room).expandedTo(QSize(1, 1));
  }
  if (size == form->size()) return Status::ok();
  requestedSize = size;
  requestExpiry.start();
  ownResize = true;
  form->resize(size);
  ownResize = false;
  if (form->size() != laidOutSize) reportResize();
  return Status::ok();
}

void QtWindow::reportResize() {
  laidOutSize = form->size();
  laidOutFrame = frameExtents();
  if (events) events->Form_Resize();
}

void QtWindow::onResized() {
  if (ownResize) return;  // resizeClient reports it
  if (requestedSize) {
    if (form->size() != *requestedSize) return;  // a half-done echo
    requestedSize.reset();
    requestExpiry.stop();
  }
  if (form->size() != laidOutSize) reportResize();
}

void QtWindow::onRequestExpired() {
  // The window manager settled on another size than asked for (a minimum
  // size, a screen too small): lay out what the window really has.
  requestedSize.reset();
  onResized();
}

// Positions are the outer frame's; the client area is placed explicitly
// below and right of the frame, which does not depend on when the window
// manager tells Qt about its frame.
Status QtWindow::setTop(double twips) {
  if (wayland) return Status::failed("the compositor places the window");
  auto y = toPixels(twips, tppY());
  if (!y) return Status::failed("invalid top");
  QRect client = form->geometry();
  client.moveTop(*y + frameExtents().top);
  form->setGeometry(client);
  placed = true;
  return Status::ok();
}

Status QtWindow::setLeft(double twips) {
  if (wayland) return Status::failed("the compositor places the window");
  auto x = toPixels(twips, tppX());
  if (!x) return Status::failed("invalid left");
  QRect client = form->geometry();
  client.moveLeft(*x + frameExtents().left);
  form->setGeometry(client);
  placed = true;
  return Status::ok();
}

Maybe<double> QtWindow::outerTop() const {
  if (wayland) return std::nullopt;
  return (form->geometry().top() - frameExtents().top) * tppY();
}

Maybe<double> QtWindow::outerLeft() const {
  if (wayland) return std::nullopt;
  return (form->geometry().left() - frameExtents().left) * tppX();
}

Status QtWindow::setBorderStyle(int style) {
  if (style != kBorderNone && style != kBorderSizable) return Status::failed("unknown style");
  requestedBorder = style;
  return Status::ok();
}

Status QtWindow::setCaption(const std::string& caption) {
  form->setWindowTitle(QString::fromStdString(caption));
  if (requestedBorder != appliedBorder) applyBorderStyle();
  return Status::ok();
}

// A window not shown yet only records the style: toggling the native flags
// back and forth before the first mapping raced with the window manager,
// which now and then mapped the window without its frame. show() applies
// what is due.
void QtWindow::applyBorderStyle() {
  appliedBorder = requestedBorder;
  if (!form->isVisible()) return;
  if (wayland)
    applyWaylandState();
  else
    applyNativeBorder();
}

// On Wayland no client makes itself borderless and as large as the output:
// the borderless window is the compositor's full-screen state, which covers
// the output without a title bar, and the sizable one is its normal state.
void QtWindow::applyWaylandState() {
  if (appliedBorder == kBorderNone)
    wayland->enterFullScreen();
  else
    wayland->leaveFullScreen();
}

// A border change keeps the client area where it is. A mapped window only
// changes its hints, and the window manager redraws its frame in place:
// Qt's own way (setWindowFlags) unmaps the window and maps it again, a round
// trip through the window manager that full screen's first picture waited
// for.
void QtWindow::applyNativeBorder() {
  const bool frameless = appliedBorder == kBorderNone;
  if (form->windowFlags().testFlag(Qt::FramelessWindowHint) == frameless) return;
  Qt::WindowFlags flags = form->windowFlags();
  flags.setFlag(Qt::FramelessWindowHint, frameless);
  const QRect client = form->geometry();
  QWindow* mapped = form->isVisible() ? form->windowHandle() : nullptr;
  if (!mapped) {
    form->setWindowFlags(flags);
    form->setGeometry(client);
    return;
  }
  // The frame the window manager drew before is kept for the decorated
  // window: it announces its frame anew once it decorates the window again.
  // What it announces in between, up to the window's new hints, still
  // describes the borderless window.
  awaitingOwnHints = !frameless;
  form->overrideWindowFlags(flags);
  mapped->setFlags(flags);
  form->setGeometry(client);
}

WindowHandle QtWindow::hWnd() const {
  return static_cast<WindowHandle>(form->winId());
}

void QtWindow::centreOnScreen() {
  QScreen* screen = screenOf(form.get());
  if (!screen) return;
  const FrameExtents e = frameExtents();
  const QSize outer = form->size() + QSize(e.left + e.right, e.top + e.bottom);
  const QRect area = screen->availableGeometry();
  const QPoint corner(area.x() + (area.width() - outer.width()) / 2,
                      area.y() + (area.height() - outer.height()) / 2);
  form->setGeometry(QRect(corner + QPoint(e.left, e.top), form->size()));
}

Status QtWindow::show() {
  const bool first = !shownBefore;
  if (wayland) {
    form->show();
    if (appliedBorder == kBorderNone)
      applyWaylandState();
    else if (first && decoratedFrame) {
      const FrameExtents e = *decoratedFrame;
      wayland->shown(QMargins(e.left, e.top, e.right, e.bottom));
    }
  } else {
    applyNativeBorder();
    if (first && !placed) centreOnScreen();
    form->show();
  }
  if (first) {
    shownBefore = true;
    reportResize();  // the first display lays the window out
    if (options.bannerDelay) bannerStrip->startLater(*options.bannerDelay);
  }
  return Status::ok();
}

void QtWindow::onClose() {
  if (unloaded) return;
  unloaded = true;
  if (events) events->Form_Unload();
}

Panel& QtWindow::picture3() {
  return *panel;
}
WebBrowser& QtWindow::webBrowser1() {
  return *bannerStrip;
}
CheckBox& QtWindow::check1() {
  return *check;
}

double QtScreen::twipsPerPixelX() const {
  return qt::twipsPerPixelX(&window.widget());
}
double QtScreen::twipsPerPixelY() const {
  return qt::twipsPerPixelY(&window.widget());
}

Maybe<double> QtScreen::widthTwips() const {
  QScreen* s = screenOf(&window.widget());
  if (!s) return std::nullopt;
  return s->geometry().width() * twipsPerPixelX();
}

Maybe<double> QtScreen::heightTwips() const {
  QScreen* s = screenOf(&window.widget());
  if (!s) return std::nullopt;
  return s->geometry().height() * twipsPerPixelY();
}

Maybe<double> QtScreen::leftTwips() const {
  QScreen* s = screenOf(&window.widget());
  if (!s) return std::nullopt;
  return s->geometry().x() * twipsPerPixelX();
}

Maybe<double> QtScreen::topTwips() const {
  QScreen* s = screenOf(&window.widget());
  if (!s) return std::nullopt;
  return s->geometry().y() * twipsPerPixelY();
}

}  // namespace quillet::qt
