#pragma once
// WebBrowser1: the banner strip along the bottom of the window. The web
// engine never runs in this process: the strip is a plain white widget that
// paints the pictures of the page which the quillet-banner helper renders
// offscreen, and forwards the user's input over it (see BannerHelper.h).
// Only web addresses are shown, and only once start() allows the helper.

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <chrono>
#include <memory>

#include "platform/Window.h"
#include "platform/qt/banner/BannerHelper.h"
#include "platform/qt/banner/BannerStrip.h"

class QWidget;

namespace quillet::qt {

class QtBanner : public QObject, public WebBrowser {
 public:
  // The strip is made as a child of parent, hidden behind nothing: it is
  // shown with its parent.
  explicit QtBanner(QWidget& parent);

  Maybe<double> height() const override;
  Status setTop(double twips) override;
  Status setWidth(double twips) override;
  // Only web addresses (http, https) are loaded; anything else fails.
  Status navigate(const std::string& address) override;

  // From now on (once) the address asked for so far, and
  // each later one, is tried; the first that answers starts the helper with
  // the strip's size and that address.
  void start();
  // Calls start() once delay has passed and the event loop is free.
  void startLater(std::chrono::milliseconds delay);

  QWidget& strip() { return *area; }
  // The address last asked for, loaded or still waiting for start().
  const QUrl& address() const { return pending; }

  // Quillet's side of the helper (its program, its process, what it is sent).
  BannerHelper& helper() { return *client; }

 private:
  QPointer<BannerStrip> area;
  std::unique_ptr<BannerHelper> client;
  QUrl pending;
  bool started = false;
};

}  // namespace quillet::qt
