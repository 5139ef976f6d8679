#include "platform/qt/banner/BannerStrip.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace quillet::qt {

namespace {

QByteArray number(qint64 n) {
  return QByteArray::number(n);
}

}  // namespace

BannerStrip::BannerStrip(QWidget* parent, Forward forward)
    : QWidget(parent), forward(std::move(forward)) {
  // Hover effects of the page follow the pointer without a button held.
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void BannerStrip::showFrame(const QImage& frame) {
  shown = frame;
  update();
}

bool BannerStrip::event(QEvent* event) {
  // Claimed before the window's shortcuts see it, a key comes here as a key.
  if (event->type() == QEvent::ShortcutOverride) {
    event->accept();
    return true;
  }
  return QWidget::event(event);
}

void BannerStrip::focusInEvent(QFocusEvent* event) {
  // Clicks on parts of the window that take no focus take the keys back too.
  qApp->installEventFilter(this);
  QWidget::focusInEvent(event);
}

void BannerStrip::focusOutEvent(QFocusEvent* event) {
  qApp->removeEventFilter(this);
  QWidget::focusOutEvent(event);
}

bool BannerStrip::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && watched != this && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == window() && hasFocus())
    clearFocus();
  return QWidget::eventFilter(watched, event);
}

void BannerStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  // A frame of the size before a resize is shown as it is until the next
  // one arrives; the rest stays white.
  if (!shown.isNull()) painter.drawImage(QPoint(0, 0), shown);
}

void BannerStrip::mouse(const char* kind, QMouseEvent* event, bool gesture) {
  const QPoint at = event->position().toPoint();
  forward(QByteArray("mouse ") + kind + ' ' + number(at.x()) + ' ' + number(at.y()) + ' ' +
              number(event->button()) + ' ' + number(event->buttons()) + ' ' +
              number(event->modifiers()),
          gesture);
  event->accept();
}

void BannerStrip::mousePressEvent(QMouseEvent* event) {
  // A click hands the keys to the page, as the click into a web page does;
  // the window's other controls take them back the same way.
  if (focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
  mouse("press", event, true);
}

void BannerStrip::mouseReleaseEvent(QMouseEvent* event) {
  mouse("release", event);
}

void BannerStrip::mouseDoubleClickEvent(QMouseEvent* event) {
  mouse("double", event, true);
}

void BannerStrip::mouseMoveEvent(QMouseEvent* event) {
  mouse("move", event);
}

void BannerStrip::wheelEvent(QWheelEvent* event) {
  const QPoint at = event->position().toPoint();
  forward("wheel " + number(at.x()) + ' ' + number(at.y()) + ' ' + number(event->angleDelta().x()) +
              ' ' + number(event->angleDelta().y()) + ' ' + number(event->buttons()) + ' ' +
              number(event->modifiers()),
          false);
  event->accept();
}

void BannerStrip::key(const char* kind, QKeyEvent* event) {
  const bool gesture = event->type() == QEvent::KeyPress && !event->isAutoRepeat();
  // The text goes as hex so that no character of it can end the line.
  const QByteArray text = event->text().toUtf8().toHex();
  forward(QByteArray("key ") + kind + ' ' + number(event->key()) + ' ' +
              number(event->modifiers()) + ' ' + number(event->isAutoRepeat() ? 1 : 0) + ' ' +
              (text.isEmpty() ? QByteArray("-") : text),
          gesture);
  event->accept();
}

void BannerStrip::keyPressEvent(QKeyEvent* event) {
  key("press", event);
}

void BannerStrip::keyReleaseEvent(QKeyEvent* event) {
  key("release", event);
}

void BannerStrip::leaveEvent(QEvent*) {
  forward("leave", false);
}

}  // namespace quillet::qt
