#include "platform/qt/QtBanner.h"

#include <QDesktopServices>
#include <QPalette>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWidget>

#include "platform/qt/Twips.h"

namespace quillet::qt {

bool isWebAddress(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  return url.isValid() && !url.host().isEmpty() && (scheme == "http" || scheme == "https");
}

namespace {

void openInUsersBrowser(const QUrl& url) {
  if (isWebAddress(url)) QDesktopServices::openUrl(url);
}

// The page behind a new window the banner asks for: its first address goes
// to the user's browser and the page goes away.
class HandOverPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
    if (!handedOver) {
      handedOver = true;
      openInUsersBrowser(url);
      deleteLater();
    }
    return false;
  }

 private:
  bool handedOver = false;
};

class BannerPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    if (type == NavigationTypeLinkClicked) {
      openInUsersBrowser(url);
      return false;
    }
    if (isMainFrame) return isWebAddress(url);
    const QString scheme = url.scheme().toLower();
    return isWebAddress(url) || scheme == "about" || scheme == "data" || scheme == "blob";
  }
  QWebEnginePage* createWindow(WebWindowType) override { return new HandOverPage(profile(), this); }
  // The banner's scripts talk to nobody.
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}
};

}  // namespace

QtBanner::QtBanner(QWidget& parent) : area(new QWidget(&parent)) {
  QPalette white = area->palette();
  white.setColor(QPalette::Window, Qt::white);
  area->setPalette(white);
  area->setAutoFillBackground(true);
  area->setObjectName("WebBrowser1");
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
}

QtBanner::~QtBanner() {
  // Pages must go before their profile.
  delete webView.data();
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
  if (webView) webView->load(pending);
  return Status::ok();
}

void QtBanner::start() {
  if (webView || !area) return;
  profile = new QWebEngineProfile(this);  // off the record: nothing kept on disk
  profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);

  auto* page = new BannerPage(profile, nullptr);
  QWebEngineSettings* s = page->settings();
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
  s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
  s->setAttribute(QWebEngineSettings::PluginsEnabled, false);

  webView = new QWebEngineView(area);
  page->setParent(webView);
  webView->setPage(page);
  webView->setContextMenuPolicy(Qt::NoContextMenu);
  // Files dropped on the strip belong to the window, which opens them.
  webView->setAcceptDrops(false);
  area->layout()->addWidget(webView);
  area->setFocusProxy(webView);
  if (pending.isValid()) webView->load(pending);
}

void QtBanner::startLater(std::chrono::milliseconds delay) {
  QTimer::singleShot(delay, this, [this] { start(); });
}

}  // namespace quillet::qt
