#pragma once
// The banner's web page with its whole policy: an off-the-record profile,
// no access to local files, no error pages, no script pop-ups; links and new
// windows go to the user's browser (web addresses only); console messages go
// nowhere. Pages get no bridge to the program.

#include <QWebEnginePage>

class QWebEngineProfile;
class QWebEngineView;

namespace quillet::qt {

class BannerPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

  // Shows a page already fetched from the web address base (which it is
  // shown as, and against which everything it links resolves). Anything
  // else than a web address is refused.
  void showFetched(const QByteArray& body, const QString& mimeType, const QUrl& base);

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  QWebEnginePage* createWindow(WebWindowType) override;
  // The banner's scripts talk to nobody.
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}

 private:
  // The one content navigation that showFetched starts, until it is taken.
  bool fetchedComing = false;
};

// An off-the-record profile that keeps nothing on disk, owned by parent.
QWebEngineProfile* makeBannerProfile(QObject* parent);

// Sets up view with a BannerPage of profile (which must outlive the view's
// page): settings, no context menu, drops refused.
void setUpBannerView(QWebEngineView& view, QWebEngineProfile& profile);

}  // namespace quillet::qt
