#pragma once
// The banner strip's widget: white until the helper has shown a page, then
// the page's latest frame; the user's clicks, wheel, keys and pointer moves
// over it go to the helper as input lines (see BannerMain.cpp).

#include <QImage>
#include <QWidget>
#include <functional>

namespace quillet::qt {

class BannerStrip : public QWidget {
 public:
  using Forward = std::function<void(const QByteArray& line)>;

  BannerStrip(QWidget* parent, Forward forward);

  // The page's latest frame; a null image makes the strip white again.
  void showFrame(const QImage& frame);
  const QImage& frame() const { return shown; }

 protected:
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
  void mouse(const char* kind, QMouseEvent* event);
  void key(const char* kind, QKeyEvent* event);

  Forward forward;
  QImage shown;
};

}  // namespace quillet::qt
