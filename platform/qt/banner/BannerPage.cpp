#include "platform/qt/banner/BannerPage.h"

#include <QDesktopServices>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "platform/qt/banner/BannerWire.h"

namespace quillet::qt {

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

}  // namespace

void BannerPage::showFetched(const QByteArray& body, const QString& mimeType, const QUrl& base) {
  if (!isWebAddress(base)) return;
  fetchedComing = true;
  setContent(body, mimeType, base);
}

bool BannerPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  // Content handed over by showFetched arrives as a typed data: address.
  if (fetchedComing && isMainFrame && type == NavigationTypeTyped &&
      url.scheme().toLower() == "data") {
    fetchedComing = false;
    return true;
  }
  if (type == NavigationTypeLinkClicked) {
    openInUsersBrowser(url);
    return false;
  }
  if (isMainFrame) return isWebAddress(url);
  const QString scheme = url.scheme().toLower();
  return isWebAddress(url) || scheme == "about" || scheme == "data" || scheme == "blob";
}

QWebEnginePage* BannerPage::createWindow(WebWindowType) {
  return new HandOverPage(profile(), this);
}

QWebEngineProfile* makeBannerProfile(QObject* parent) {
  auto* profile = new QWebEngineProfile(parent);  // off the record: nothing kept on disk
  profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  return profile;
}

void setUpBannerView(QWebEngineView& view, QWebEngineProfile& profile) {
  auto* page = new BannerPage(&profile, &view);
  QWebEngineSettings* s = page->settings();
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
  s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
  s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  view.setPage(page);
  view.setContextMenuPolicy(Qt::NoContextMenu);
  // Files dropped on the strip belong to the window, which opens them.
  view.setAcceptDrops(false);
}

}  // namespace quillet::qt
