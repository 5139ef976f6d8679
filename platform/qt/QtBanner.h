#pragma once
// WebBrowser1: the banner strip along the bottom of the window. The web
// engine is heavy (helper processes, hundreds of milliseconds on the GUI
// thread), so the strip starts as a plain white area and the web view is
// made only when start() is called; an address asked for before then is kept
// and loaded at that point. Pages get no bridge to the program and no access
// to local files; links and new windows open in the user's browser; a page
// that fails to load leaves the strip blank without a word.

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWebEngineView>
#include <chrono>

#include "platform/Window.h"

class QWebEngineProfile;
class QWidget;

namespace quillet::qt {

class QtBanner : public QObject, public WebBrowser {
  Q_OBJECT
 public:
  // The strip is made as a child of parent, hidden behind nothing: it is
  // shown with its parent.
  explicit QtBanner(QWidget& parent);
  ~QtBanner() override;

  Maybe<double> height() const override;
  Status setTop(double twips) override;
  Status setWidth(double twips) override;
  // Only web addresses (http, https) are loaded; anything else fails.
  Status navigate(const std::string& address) override;

  // Makes the web view now (once) and loads the address asked for so far.
  void start();
  // Calls start() once delay has passed and the event loop is free.
  void startLater(std::chrono::milliseconds delay);

  QWidget& strip() { return *area; }
  QWebEngineView* view() const { return webView; }
  // The address last asked for, loaded or still waiting for start().
  const QUrl& address() const { return pending; }

 private:
  QPointer<QWidget> area;
  QPointer<QWebEngineView> webView;
  QWebEngineProfile* profile = nullptr;  // child of this object
  QUrl pending;
};

// Whether an address may be handed to the user's browser from the banner:
// only web addresses, never local files or other programs' schemes.
bool isWebAddress(const QUrl& url);

}  // namespace quillet::qt
