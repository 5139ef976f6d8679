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

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  QWebEnginePage* createWindow(WebWindowType) override;
  // The banner's scripts talk to nobody.
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}
};

// An off-the-record profile that keeps nothing on disk, owned by parent.
QWebEngineProfile* makeBannerProfile(QObject* parent);

// Sets up view with a BannerPage of profile (which must outlive the view's
// page): settings, no context menu, drops refused.
void setUpBannerView(QWebEngineView& view, QWebEngineProfile& profile);

}  // namespace quillet::qt
