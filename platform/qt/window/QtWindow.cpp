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
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>

#include "platform/qt/banner/QtBanner.h"
#include "platform/qt/wayland/WaylandToplevel.h"
#include "platform/qt/window/Twips.h"
#include "platform/qt/x11/X11Window.h"

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
    return frame ? setTopTwips(*frame, twips) : Status::failed("panel gone");
  }
  Status setWidth(double twips) override {
    return frame ? setWidthTwips(*frame, twips) : Status::failed("panel gone");
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

  const DisplayServerEvents told{[this] { onFrameChanged(); },
                                 [this](QSize before) { onFullScreenEnded(before); }};
  // Off X11 and Wayland (offscreen) the program places a window without a
  // frame, as on X11 with no window manager.
  if (QGuiApplication::platformName() == QLatin1String("wayland"))
    display = std::make_unique<WaylandToplevel>(*form, told);
  else
    display = std::make_unique<X11Window>(*form, told);
}

QtWindow::~QtWindow() {
  events = nullptr;
  display.reset();
  bannerStrip.reset();
  form.reset();
}

double QtWindow::tppX() const {
  return twipsPerPixelX(form.get());
}
double QtWindow::tppY() const {
  return twipsPerPixelY(form.get());
}

QMargins QtWindow::frame() const {
  return appliedBorder == kBorderNone ? QMargins() : display->frame();
}

void QtWindow::learnFrame() {
  display->learnFrame();
}

// The display server's frame changed: the outer size and the layout follow.
void QtWindow::onFrameChanged() {
  if (frame() != laidOutFrame) reportResize();
}

void QtWindow::onFullScreenEnded(QSize before) {
  if (fullScreenEnded) fullScreenEnded();
  // Nobody left full screen: the window still takes its size back.
  if (appliedBorder == kBorderNone) (void)resizeClient(before);
}

void QtWindow::setFullScreenEndedHandler(std::function<void()> handler) {
  fullScreenEnded = std::move(handler);
}

void QtWindow::raise() {
  form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
  form->raise();
  form->activateWindow();
}

Maybe<double> QtWindow::width() const {
  const QMargins f = frame();
  return (form->width() + f.left() + f.right()) * tppX();
}

Maybe<double> QtWindow::height() const {
  const QMargins f = frame();
  return (form->height() + f.top() + f.bottom()) * tppY();
}

Status QtWindow::setWidth(double twips) {
  auto outer = toPixelSize(twips, tppX());
  if (!outer) return Status::failed("invalid width");
  const QMargins f = frame();
  return resizeClient(QSize(std::max(1, *outer - f.left() - f.right()), form->height()));
}

Status QtWindow::setHeight(double twips) {
  auto outer = toPixelSize(twips, tppY());
  if (!outer) return Status::failed("invalid height");
  const QMargins f = frame();
  return resizeClient(QSize(form->width(), std::max(1, *outer - f.top() - f.bottom())));
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
  if (const QSize room = display->room(frame()); room.isValid())
    size = size.boundedTo(room).expandedTo(QSize(1, 1));
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
  laidOutFrame = frame();
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

Status QtWindow::setTop(double twips) {
  auto y = toPixels(twips, tppY());
  if (!y) return Status::failed("invalid top");
  if (!display->place(std::nullopt, *y))
    return Status::failed("the display server places the window");
  return Status::ok();
}

Status QtWindow::setLeft(double twips) {
  auto x = toPixels(twips, tppX());
  if (!x) return Status::failed("invalid left");
  if (!display->place(*x, std::nullopt))
    return Status::failed("the display server places the window");
  return Status::ok();
}

Maybe<double> QtWindow::outerTop() const {
  const auto corner = display->outerCorner();
  return corner ? Maybe<double>(corner->y() * tppY()) : std::nullopt;
}

Maybe<double> QtWindow::outerLeft() const {
  const auto corner = display->outerCorner();
  return corner ? Maybe<double>(corner->x() * tppX()) : std::nullopt;
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

void QtWindow::applyBorderStyle() {
  appliedBorder = requestedBorder;
  display->applyBorder(appliedBorder == kBorderNone);
}

WindowHandle QtWindow::hWnd() const {
  return static_cast<WindowHandle>(form->winId());
}

Status QtWindow::show() {
  const bool first = !shownBefore;
  display->show(first);
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

// One extent of the screen's geometry, in twips.
namespace {
template <class Extent>
Maybe<double> screenTwips(const QWidget& w, Extent extent, double twipsPerPixel) {
  QScreen* s = screenOf(&w);
  if (!s) return std::nullopt;
  return extent(s->geometry()) * twipsPerPixel;
}
}  // namespace

Maybe<double> QtScreen::widthTwips() const {
  return screenTwips(window.widget(), std::mem_fn(&QRect::width), twipsPerPixelX());
}
Maybe<double> QtScreen::heightTwips() const {
  return screenTwips(window.widget(), std::mem_fn(&QRect::height), twipsPerPixelY());
}
Maybe<double> QtScreen::leftTwips() const {
  return screenTwips(window.widget(), std::mem_fn(&QRect::x), twipsPerPixelX());
}
Maybe<double> QtScreen::topTwips() const {
  return screenTwips(window.widget(), std::mem_fn(&QRect::y), twipsPerPixelY());
}

}  // namespace quillet::qt
