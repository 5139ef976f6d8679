#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <memory>

#include "platform/qt/window/QtControlHost.h"
#include "tests/window_gui/TestComponent.h"

namespace quillet::guitest {
namespace {

using qt::QtComponentRegistry;
using qt::QtControlHost;

constexpr const char* kProgId = "Test.Component";

struct ControlHost : ::testing::Test {
  ControlHost() {
    registry.registerComponent(kProgId, [this]() -> std::unique_ptr<QWidget> {
      ++made;
      return std::make_unique<TestComponent>();
    });
    registry.registerComponent("Broken.Component", [] { return std::unique_ptr<QWidget>(); });
    client.resize(400, 300);
  }
  TestComponent* component(const std::string& name) {
    return qobject_cast<TestComponent*>(host.widgetOf(name));
  }
  void flushDeletions() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  QtComponentRegistry registry;
  QWidget client;
  QtControlHost host{client, registry};
  int made = 0;
};

TEST_F(ControlHost, AddsAHiddenChildAtTheTopLeft) {
  auto ext = host.add(kProgId, "one");
  ASSERT_NE(ext, nullptr);
  TestComponent* c = component("one");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->parentWidget(), &client);
  EXPECT_EQ(c->pos(), QPoint(0, 0));
  EXPECT_TRUE(c->isHidden());
}

TEST_F(ControlHost, RefusesUnknownBrokenAndTakenNames) {
  EXPECT_EQ(host.add("No.Such.Thing", "a"), nullptr);
  EXPECT_EQ(host.add("Broken.Component", "b"), nullptr);
  ASSERT_NE(host.add(kProgId, "c"), nullptr);
  EXPECT_EQ(host.add(kProgId, "c"), nullptr);
  EXPECT_EQ(made, 1);
}

// Twips become pixels at the screen's factor (15 at 96 DPI).
TEST_F(ControlHost, ExtenderPlacesTheControlInTwips) {
  auto ext = host.add(kProgId, "one");
  TestComponent* c = component("one");
  const double tpp = 1440.0 / client.screen()->logicalDotsPerInchY();
  ASSERT_DOUBLE_EQ(tpp, 15.0);
  EXPECT_TRUE(ext->setVisible(true));
  EXPECT_TRUE(ext->setTop(Value(std::int16_t{150})));
  EXPECT_TRUE(ext->setWidth(Value(9600.0f)));
  EXPECT_TRUE(ext->setHeight(Value(std::int32_t{4785})));
  EXPECT_FALSE(c->isHidden());
  EXPECT_EQ(c->geometry(), QRect(0, 10, 640, 319));
  // A negative size or a text is rejected and changes nothing.
  EXPECT_FALSE(ext->setHeight(Value(-535.0f)));
  EXPECT_FALSE(ext->setWidth(Value(std::string("wide"))));
  EXPECT_EQ(c->geometry(), QRect(0, 10, 640, 319));
}

TEST_F(ControlHost, SetsPropertiesAndCallsMethodsByName) {
  auto ext = host.add(kProgId, "one");
  TestComponent* c = component("one");
  EXPECT_TRUE(ext->setProperty("Caption", std::string("tr\xc3\xa8s")));
  EXPECT_EQ(c->caption, QString::fromUtf8("tr\xc3\xa8s"));
  EXPECT_TRUE(ext->setProperty("Count", std::int16_t{7}));
  EXPECT_EQ(c->count, 7);
  EXPECT_TRUE(ext->setProperty("Flag", true));
  EXPECT_TRUE(c->flag);
  // Unknown, read-only and unconvertible values fail, leaving no trace.
  EXPECT_FALSE(ext->setProperty("NoSuchProperty", std::string("x")));
  EXPECT_FALSE(c->property("NoSuchProperty").isValid());
  EXPECT_FALSE(ext->setProperty("Fixed", std::string("x")));
  EXPECT_FALSE(ext->setProperty("Count", std::string("many")));
  EXPECT_EQ(c->count, 7);

  EXPECT_TRUE(ext->call("Poke", {std::int16_t{0}, std::string("/tmp/TMP1.tmp")}));
  ASSERT_EQ(c->pokes.size(), 1u);
  EXPECT_EQ(c->pokes[0], std::make_pair(0, QString("/tmp/TMP1.tmp")));
  EXPECT_FALSE(ext->call("Poke", {std::int16_t{0}}));
  EXPECT_FALSE(ext->call("Poke", {std::string("zero"), std::string("x")}));
  EXPECT_FALSE(ext->call("Vanish", {}));
  // Signals are not methods one can call.
  EXPECT_FALSE(ext->call("Pinged", {}));
  EXPECT_EQ(c->pokes.size(), 1u);
}

TEST_F(ControlHost, RelaysTheComponentsSignalsAsEvents) {
  auto ext = host.add(kProgId, "one");
  TestComponent* c = component("one");
  std::vector<std::pair<std::string, Values>> events;
  ext->setEventHandler([&](const std::string& name, const Values& params) {
    events.push_back({name, params});
  });
  emit c->Fired("screen", 2);
  emit c->Pinged();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].first, "Fired");
  EXPECT_EQ(events[0].second, (Values{std::string("screen"), std::int32_t{2}}));
  EXPECT_EQ(events[1].first, "Pinged");
  EXPECT_TRUE(events[1].second.empty());
  // QWidget's own signals are not the component's events.
  c->setWindowTitle("changed");
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(ControlHost, RemovedControlIsCutOff) {
  auto ext = host.add(kProgId, "one");
  QPointer<TestComponent> c = component("one");
  int events = 0;
  ext->setEventHandler([&](const std::string&, const Values&) { ++events; });
  EXPECT_TRUE(host.remove("one"));
  EXPECT_FALSE(host.remove("one"));
  EXPECT_FALSE(host.remove("never"));
  EXPECT_FALSE(ext->setVisible(true));
  EXPECT_FALSE(ext->setTop(Value(0.0)));
  EXPECT_FALSE(ext->setProperty("Caption", std::string("x")));
  EXPECT_FALSE(ext->call("Poke", {std::int16_t{0}, std::string("x")}));
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->isHidden());
  emit c->Fired("late", 1);
  EXPECT_EQ(events, 0);
  flushDeletions();
  EXPECT_FALSE(c);
  // The name is free again.
  EXPECT_NE(host.add(kProgId, "one"), nullptr);
}

// A handler that replaces the control while one of its events is being
// delivered, as opening a video from inside an event would.
TEST_F(ControlHost, ControlCanBeRemovedFromInsideItsOwnEvent) {
  std::shared_ptr<Extender> current = host.add(kProgId, "player");
  QPointer<TestComponent> first = component("player");
  int handled = 0;
  current->setEventHandler([&](const std::string&, const Values&) {
    ++handled;
    EXPECT_TRUE(host.remove("player"));
    current = host.add(kProgId, "player");  // drops the last hold on the old extender
  });
  emit first->Fired("x", 1);
  EXPECT_EQ(handled, 1);
  ASSERT_NE(current, nullptr);
  EXPECT_NE(component("player"), first.data());
  flushDeletions();
  EXPECT_FALSE(first);
}

// The probe's instances come from the same factories.
TEST_F(ControlHost, RegistryCreatesProbeInstances) {
  EXPECT_NE(registry.create(kProgId), nullptr);
  EXPECT_EQ(registry.create("Broken.Component"), nullptr);
  EXPECT_EQ(registry.create("Test.Component.2"), nullptr);
  EXPECT_EQ(made, 1);
}

}  // namespace
}  // namespace quillet::guitest
