#pragma once
// Components hosted by ProgID. A component is a QWidget made by a factory
// registered under one or more ProgIDs; the host places it in the window's
// client area and reaches its properties, methods and signals by name
// through Qt's meta-object system, as a container reaches a foreign control.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/ControlHost.h"

namespace quillet::qt {

class QtComponentRegistry : public ComponentRegistry {
 public:
  // Makes a new component, or returns null when it cannot be made.
  using Factory = std::function<std::unique_ptr<QWidget>()>;
  void registerComponent(const std::string& progId, Factory factory);

  std::unique_ptr<ComponentInstance> create(const std::string& progId) override;
  // A new widget of the component, or null.
  std::unique_ptr<QWidget> makeWidget(const std::string& progId) const;

 private:
  std::map<std::string, Factory> factories;
};

class QtExtender;

class QtControlHost : public ControlHost {
 public:
  QtControlHost(QWidget& clientArea, const QtComponentRegistry& registry);
  ~QtControlHost() override;

  // Null when the ProgID is unknown, the component cannot be made or the
  // name is taken.
  std::shared_ptr<Extender> add(const std::string& progId, const std::string& name) override;
  // The control is hidden and cut off at once and deleted once the event
  // loop is free, so a control may be removed from inside its own event.
  Status remove(const std::string& name) override;

  // The control's widget, or null; for tests.
  QWidget* widgetOf(const std::string& name) const;

  // Told of each control once it is added, so that the program's wiring can
  // reach what a component offers beyond its control interface.
  using AddedHandler = std::function<void(const std::string& name, QWidget& component)>;
  void setAddedHandler(AddedHandler handler) { addedHandler = std::move(handler); }

 private:
  QPointer<QWidget> client;
  const QtComponentRegistry& registry;
  std::map<std::string, std::shared_ptr<QtExtender>> controls;
  AddedHandler addedHandler;
};

}  // namespace quillet::qt
