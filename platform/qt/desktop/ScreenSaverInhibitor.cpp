#include "platform/qt/desktop/ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>

#include "platform/qt/x11/XScreenSaverHold.h"
#include "quillet/Installation.h"

namespace quillet::qt {

namespace {

Q_LOGGING_CATEGORY(lcAwake, "quillet.screensaver", QtWarningMsg)

constexpr int kClosingTimeout = 1000;  // ms the closing program waits for the bus
const QString kReason = QStringLiteral("Playing a video");
constexpr uint kIdleFlag = 8;  // the session manager's "idle" inhibition

using Way = ScreenSaverInhibitor::Way;

struct Service {
  Way way;
  QString name, path, interface, releaseMethod;
};

const Service kServices[] = {
    {Way::ScreenSaver, QStringLiteral("org.freedesktop.ScreenSaver"),
     QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
     QStringLiteral("UnInhibit")},
    {Way::PowerManagement, QStringLiteral("org.freedesktop.PowerManagement"),
     QStringLiteral("/org/freedesktop/PowerManagement/Inhibit"),
     QStringLiteral("org.freedesktop.PowerManagement.Inhibit"), QStringLiteral("UnInhibit")},
    {Way::SessionManager, QStringLiteral("org.gnome.SessionManager"),
     QStringLiteral("/org/gnome/SessionManager"), QStringLiteral("org.gnome.SessionManager"),
     QStringLiteral("Uninhibit")},
};

const Service* serviceOf(Way way) {
  for (const Service& s : kServices)
    if (s.way == way) return &s;
  return nullptr;  // the X server
}

QDBusMessage inhibitCall(const Service& s) {
  QDBusMessage call =
      QDBusMessage::createMethodCall(s.name, s.path, s.interface, QStringLiteral("Inhibit"));
  if (s.way == Way::SessionManager) {
    // No top-level window id: the hold is the program's, not a window's.
    call << QString::fromLatin1(installation::kAppId) << uint(0) << kReason << kIdleFlag;
  } else {
    call << QStringLiteral("Quillet") << kReason;
  }
  return call;
}

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(MediaSession& session, QObject* parent,
                                           std::chrono::milliseconds retryAfter,
                                           std::unique_ptr<ServerScreenHold> serverHold)
    : QObject(parent),
      session(session),
      server(serverHold ? std::move(serverHold) : std::make_unique<XScreenSaverHold>()) {
  retry.setSingleShot(true);
  retry.setInterval(retryAfter);
  connect(&retry, &QTimer::timeout, this, [this] {
    refused.clear();
    update();
  });
}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
  release(true);
  holdServer(false);
}

bool ScreenSaverInhibitor::start() {
  if (started) return true;
  QDBusConnection bus = QDBusConnection::sessionBus();
  const bool onBus = bus.isConnected() && bus.interface();
  if (!onBus && !server->canHold()) return false;
  started = true;
  if (onBus) {
    auto* watcher = new QDBusServiceWatcher(this);
    watcher->setConnection(bus);
    watcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    for (const Service& s : kServices) {
      watcher->addWatchedService(s.name);
      const QDBusReply<QString> owner = bus.interface()->serviceOwner(s.name);
      if (owner.isValid()) owners.insert(s.name, owner.value());
    }
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString& name, const QString&, const QString& newOwner) {
              ownerChanged(name, newOwner);
            });
  }
  connect(&session, &MediaSession::stateChanged, this, &ScreenSaverInhibitor::update);
  connect(&session, &MediaSession::videoChanged, this, &ScreenSaverInhibitor::update);
  update();
  return true;
}

std::optional<ScreenSaverInhibitor::Way> ScreenSaverInhibitor::way() const {
  if (held) return held->way;
  if (serverHeld) return Way::XServer;
  return std::nullopt;
}

void ScreenSaverInhibitor::ownerChanged(const QString& name, const QString& newOwner) {
  if (newOwner.isEmpty()) {
    owners.remove(name);
  } else {
    owners.insert(name, newOwner);
  }
  const Service* holder = held ? serviceOf(held->way) : nullptr;
  if (holder && holder->name == name && held->owner != newOwner) {
    // The hold went with the owner that gave it; its number may be another
    // program's at the new owner.
    qCInfo(lcAwake) << "the hold at" << name << "is gone with its owner";
    held.reset();
  }
  if (requesting && serviceOf(*requesting) && serviceOf(*requesting)->name == name) {
    requesting.reset();
    ++requestNumber;  // its answer, from the owner that left, counts no more
  }
  // A new owner may answer where the old one refused.
  for (const Service& s : kServices)
    if (s.name == name) refused.erase(s.way);
  update();
}

std::optional<ScreenSaverInhibitor::Way> ScreenSaverInhibitor::bestService() const {
  for (const Service& s : kServices)
    if (owners.contains(s.name) && !refused.contains(s.way)) return s.way;
  return std::nullopt;
}

void ScreenSaverInhibitor::update() {
  if (!started) return;
  const quint64 now = session.video().number;
  const bool wanted = session.state() == MediaSession::State::Playing;
  // A new video starts with a hold of its own.
  if (held && (!wanted || now != held->video)) release(false);
  if (!wanted) {
    holdServer(false);
    refused.clear();
    retry.stop();
    return;
  }
  // A better service than the one holding (one that started later) is
  // asked; the hold there is kept until it has said yes. An answer calls
  // again.
  const std::optional<Way> best = bestService();
  if (!requesting && best && (!held || *best < held->way)) request(*best, now);
  holdServer(!held);
}

void ScreenSaverInhibitor::holdServer(bool wanted) {
  if (!wanted) {
    if (serverHeld) server->release();
    serverHeld = false;
    return;
  }
  if (serverHeld || !server->canHold()) return;
  serverHeld = server->hold();
  if (!serverHeld) qCInfo(lcAwake) << "the X server refused to hold its screen saver";
}

void ScreenSaverInhibitor::request(Way way, quint64 forVideo) {
  const Service* service = serviceOf(way);
  requesting = way;
  const quint64 number = ++requestNumber;
  auto* watcher = new QDBusPendingCallWatcher(
      QDBusConnection::sessionBus().asyncCall(inhibitCall(*service)), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, way, number, forVideo](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            if (number != requestNumber) return;
            requesting.reset();
            const QDBusPendingReply<uint> reply = *w;
            if (reply.isError()) {
              qCInfo(lcAwake) << serviceOf(way)->name << "refused:" << reply.error().message();
              refused.insert(way);
              retry.start();
            } else {
              release(false);  // a lesser service's hold, now replaced
              held = Hold{way, reply.value(), reply.reply().service(), forVideo};
            }
            // Things may have moved on while the answer was on its way.
            update();
          });
}

void ScreenSaverInhibitor::release(bool wait) {
  if (!held) return;
  const Hold hold = *held;
  held.reset();
  const Service* service = serviceOf(hold.way);
  // To the owner that gave the number, should the name have changed hands
  // unseen.
  QDBusMessage call =
      QDBusMessage::createMethodCall(hold.owner.isEmpty() ? service->name : hold.owner,
                                     service->path, service->interface, service->releaseMethod);
  call << hold.cookie;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (wait) {
    bus.call(call, QDBus::Block, kClosingTimeout);
  } else {
    bus.asyncCall(call);
  }
}

}  // namespace quillet::qt
