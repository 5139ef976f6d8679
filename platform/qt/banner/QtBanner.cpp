#include "platform/qt/banner/QtBanner.h"

#include <QTimer>
#include <QWidget>

#include "platform/qt/window/Twips.h"

namespace quillet::qt {

QtBanner::QtBanner(QWidget& parent)
    : area(new BannerStrip(&parent,
                           [this](const QByteArray& line, bool gesture) {
                             if (helper) helper->input(line, gesture);
                           })),
      helper(std::make_unique<BannerHelper>(*area)) {
  area->setObjectName("WebBrowser1");
}

QtBanner::~QtBanner() {
  // The helper goes first, while the strip it paints may still be there.
  helper.reset();
}

QWidget& QtBanner::strip() {
  return *area;
}

Maybe<double> QtBanner::height() const {
  if (!area) return std::nullopt;
  return area->height() * twipsPerPixelY(area);
}

Status QtBanner::setTop(double twips) {
  if (!area) return Status::failed("banner gone");
  auto y = toPixels(twips, twipsPerPixelY(area));
  if (!y) return Status::failed("invalid top");
  area->move(area->x(), *y);
  return Status::ok();
}

Status QtBanner::setWidth(double twips) {
  if (!area) return Status::failed("banner gone");
  auto w = toPixelSize(twips, twipsPerPixelX(area));
  if (!w) return Status::failed("invalid width");
  area->resize(*w, area->height());
  return Status::ok();
}

Status QtBanner::navigate(const std::string& address) {
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  if (!isWebAddress(url)) return Status::failed("not a web address");
  pending = url;
  if (started) helper->show(pending);
  return Status::ok();
}

void QtBanner::start() {
  if (started || !area || !helper->runnable()) return;
  started = true;
  if (pending.isValid()) helper->show(pending);
}

void QtBanner::startLater(std::chrono::milliseconds delay) {
  QTimer::singleShot(delay, this, [this] { start(); });
}

}  // namespace quillet::qt
