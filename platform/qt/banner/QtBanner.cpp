#include "platform/qt/banner/QtBanner.h"

#include <QTimer>
#include <QWidget>

#include "platform/qt/window/Twips.h"

namespace quillet::qt {

QtBanner::QtBanner(QWidget& parent)
    : area(new BannerStrip(&parent,
                           [this](const QByteArray& line, bool gesture) {
                             if (client) client->input(line, gesture);
                           })),
      client(std::make_unique<BannerHelper>(*area)) {
  area->setObjectName("WebBrowser1");
}

Maybe<double> QtBanner::height() const {
  if (!area) return std::nullopt;
  return area->height() * twipsPerPixelY(area);
}

Status QtBanner::setTop(double twips) {
  if (!area) return Status::failed("banner gone");
  return setTopTwips(*area, twips);
}

Status QtBanner::setWidth(double twips) {
  if (!area) return Status::failed("banner gone");
  return setWidthTwips(*area, twips);
}

Status QtBanner::navigate(const std::string& address) {
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  if (!isWebAddress(url)) return Status::failed("not a web address");
  pending = url;
  if (started) client->show(pending);
  return Status::ok();
}

void QtBanner::start() {
  if (started || !area || !client->runnable()) return;
  started = true;
  if (pending.isValid()) client->show(pending);
}

void QtBanner::startLater(std::chrono::milliseconds delay) {
  QTimer::singleShot(delay, this, [this] { start(); });
}

}  // namespace quillet::qt
