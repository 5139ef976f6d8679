#pragma once
// Hosting of components by ProgID: the window's control collection and the
// component registry behind it.

#include <functional>
#include <memory>
#include <string>

#include "platform/Status.h"
#include "platform/Value.h"

namespace quillet {

// The container-side wrapper of a hosted control. Positions and sizes are in
// twips, relative to the window's client area. Once its control is removed
// every operation fails.
class Extender {
 public:
  virtual ~Extender() = default;
  virtual Status setVisible(bool visible) = 0;
  virtual Status setTop(const Value& twips) = 0;
  virtual Status setWidth(const Value& twips) = 0;
  virtual Status setHeight(const Value& twips) = 0;

  virtual Status setProperty(const std::string& name, const Value& value) = 0;
  virtual Status call(const std::string& method, const Values& args) = 0;

  // Every event of the control, by name with its ordered parameters, on the
  // user-interface thread. Setting a new handler replaces the old one.
  using EventHandler = std::function<void(const std::string& name, const Values& params)>;
  virtual void setEventHandler(EventHandler handler) = 0;
};

class ControlHost {
 public:
  virtual ~ControlHost() = default;
  // Creates a component by ProgID under a name; it starts hidden at the
  // client area's top-left corner. Null when the component cannot be made.
  virtual std::shared_ptr<Extender> add(const std::string& progId, const std::string& name) = 0;
  // Fails when no control has that name.
  virtual Status remove(const std::string& name) = 0;
};

// An instance created only to prove that a component can be made.
class ComponentInstance {
 public:
  virtual ~ComponentInstance() = default;
};

class ComponentRegistry {
 public:
  virtual ~ComponentRegistry() = default;
  // Null when nothing is registered under the name or its creation fails.
  virtual std::unique_ptr<ComponentInstance> create(const std::string& progId) = 0;
};

}  // namespace quillet
