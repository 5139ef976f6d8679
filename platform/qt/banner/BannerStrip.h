#pragma once
// The banner strip's widget: white until the helper has shown a page, then
// the page's latest frame; the user's clicks, wheel, keys and pointer moves
// over it go to the helper as input lines (see BannerMain.cpp). Once a click
// has given it the keys, every key is the page's, the window's shortcuts
// included, until a click elsewhere in the window takes them back.

#include <QImage>
#include <QWidget>
#include <functional>

namespace quillet::qt {

class BannerStrip : public QWidget {
 public:
  // gesture: a press of a button or key, after which the page may open a
  // link.
  using Forward = std::function<void(const QByteArray& line, bool gesture)>;

  BannerStrip(QWidget* parent, Forward forward);

  // The page's latest frame; a null image makes the strip white again.
  void showFrame(const QImage& frame);
  const QImage& frame() const { return shown; }

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent*) override;

 private:
  void mouse(const char* kind, QMouseEvent* event, bool gesture = false);
  void key(const char* kind, QKeyEvent* event);

  Forward forward;
  QImage shown;
};

}  // namespace quillet::qt
