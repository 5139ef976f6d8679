#include "platform/qt/desktop/ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace quillet::qt {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
constexpr int kClosingTimeout = 1000;  // ms the closing program waits for the bus

QDBusMessage screenSaverCall(const QString& method) {
  return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(MediaSession& session, QObject* parent)
    : QObject(parent), session(session) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
  release(true);
}

bool ScreenSaverInhibitor::start() {
  if (started) return true;
  if (!QDBusConnection::sessionBus().isConnected()) return false;
  started = true;
  connect(&session, &MediaSession::stateChanged, this, &ScreenSaverInhibitor::update);
  connect(&session, &MediaSession::videoChanged, this, &ScreenSaverInhibitor::update);
  update();
  return true;
}

void ScreenSaverInhibitor::update() {
  if (!started) return;
  const quint64 now = session.video().number;
  const bool wanted = session.state() == MediaSession::State::Playing;
  // A new video starts with an inhibition of its own.
  if (!wanted || now != video) release(false);
  if (!wanted || cookie || requesting) return;

  video = now;
  requesting = true;
  QDBusMessage call = screenSaverCall(QStringLiteral("Inhibit"));
  call << QStringLiteral("Quillet") << QStringLiteral("Playing a video");
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    requesting = false;
    const QDBusPendingReply<uint> reply = *w;
    if (reply.isError()) return;  // no such service: nothing to keep awake
    cookie = reply.value();
    // Things may have moved on while the answer was on its way.
    update();
  });
}

void ScreenSaverInhibitor::release(bool wait) {
  if (!cookie) return;
  QDBusMessage call = screenSaverCall(QStringLiteral("UnInhibit"));
  call << *cookie;
  cookie.reset();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (wait) {
    bus.call(call, QDBus::Block, kClosingTimeout);
  } else {
    bus.asyncCall(call);
  }
}

}  // namespace quillet::qt
