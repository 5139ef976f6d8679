#include "platform/qt/window/QtControlHost.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QVariant>
#include <array>
#include <vector>

#include "platform/qt/window/Twips.h"

namespace quillet::qt {
namespace {

QVariant toVariant(const Value& v) {
  struct V {
    QVariant operator()(bool b) const { return QVariant(b); }
    QVariant operator()(std::int16_t i) const { return QVariant(static_cast<int>(i)); }
    QVariant operator()(std::int32_t i) const { return QVariant(static_cast<int>(i)); }
    QVariant operator()(float f) const { return QVariant(f); }
    QVariant operator()(double d) const { return QVariant(d); }
    QVariant operator()(const std::string& s) const { return QVariant(QString::fromStdString(s)); }
  };
  return std::visit(V{}, v);
}

Value fromVariant(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::Bool:
      return v.toBool();
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
      return static_cast<std::int16_t>(v.toInt());
    case QMetaType::Int:
      return static_cast<std::int32_t>(v.toInt());
    case QMetaType::Float:
      return v.toFloat();
    case QMetaType::Double:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
      return v.toDouble();
    default:
      return v.toString().toStdString();
  }
}

// What the probe holds: a component made only to prove it can be made.
class WidgetInstance : public ComponentInstance {
 public:
  explicit WidgetInstance(std::unique_ptr<QWidget> w) : widget(std::move(w)) {}

 private:
  std::unique_ptr<QWidget> widget;
};

}  // namespace

void QtComponentRegistry::registerComponent(const std::string& progId, Factory factory) {
  factories[progId] = std::move(factory);
}

std::unique_ptr<QWidget> QtComponentRegistry::makeWidget(const std::string& progId) const {
  auto it = factories.find(progId);
  if (it == factories.end() || !it->second) return nullptr;
  return it->second();
}

std::unique_ptr<ComponentInstance> QtComponentRegistry::create(const std::string& progId) {
  auto widget = makeWidget(progId);
  if (!widget) return nullptr;
  return std::make_unique<WidgetInstance>(std::move(widget));
}

// Receives every signal the component declares beyond those of QWidget and
// hands it on by name. Deliberately without Q_OBJECT: its slots are the
// numbered ones past QObject's own methods, as the relay connects them.
class SignalRelay : public QObject {
 public:
  SignalRelay(QWidget& component, std::weak_ptr<QtExtender> owner);
  int qt_metacall(QMetaObject::Call call, int id, void** args) override;

 private:
  std::weak_ptr<QtExtender> owner;
  std::vector<QMetaMethod> signalsRelayed;
};

class QtExtender : public Extender {
 public:
  QtExtender(std::unique_ptr<QWidget> component, QWidget& parent) : widget(component.release()) {
    widget->setParent(&parent);  // Qt owns it from here
    widget->hide();
    widget->move(0, 0);
  }
  ~QtExtender() override { detach(); }

  void connectSignals(const std::shared_ptr<QtExtender>& self) {
    relay = new SignalRelay(*widget, self);
  }

  Status setVisible(bool visible) override {
    if (!alive()) return removedStatus();
    widget->setVisible(visible);
    return Status::ok();
  }
  Status setTop(const Value& twips) override {
    return alive() ? setTopTwips(*widget, asNumber(twips)) : removedStatus();
  }
  Status setWidth(const Value& twips) override {
    return alive() ? setWidthTwips(*widget, asNumber(twips)) : removedStatus();
  }
  Status setHeight(const Value& twips) override {
    return alive() ? setHeightTwips(*widget, asNumber(twips)) : removedStatus();
  }

  // Only declared properties: an unknown name fails instead of leaving a
  // dynamic property behind.
  Status setProperty(const std::string& name, const Value& value) override {
    if (!alive()) return removedStatus();
    const QMetaObject* meta = widget->metaObject();
    const int index = meta->indexOfProperty(name.c_str());
    if (index < 0) return Status::failed("no such property");
    const QMetaProperty property = meta->property(index);
    QVariant v = toVariant(value);
    if (!property.isWritable() || !v.convert(property.metaType()))
      return Status::failed("value not accepted");
    return property.write(widget, v) ? Status::ok() : Status::failed("value not accepted");
  }

  // The first public method or slot of that name whose parameters take the
  // arguments.
  Status call(const std::string& name, const Values& args) override {
    if (!alive()) return removedStatus();
    if (args.size() > 10) return Status::failed("too many arguments");
    const QMetaObject* meta = widget->metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
      const QMetaMethod m = meta->method(i);
      if (m.name() != name.c_str() || m.parameterCount() != static_cast<int>(args.size()) ||
          m.access() != QMetaMethod::Public ||
          (m.methodType() != QMetaMethod::Method && m.methodType() != QMetaMethod::Slot))
        continue;
      std::vector<QVariant> converted;
      bool fits = true;
      for (int a = 0; a < m.parameterCount() && fits; ++a) {
        QVariant v = toVariant(args[a]);
        fits = v.convert(m.parameterMetaType(a));
        converted.push_back(std::move(v));
      }
      if (!fits) continue;
      std::array<QGenericArgument, 10> generic{};
      std::vector<QByteArray> typeNames;
      typeNames.reserve(converted.size());
      for (size_t a = 0; a < converted.size(); ++a) {
        typeNames.push_back(m.parameterTypeName(static_cast<int>(a)));
        generic[a] = QGenericArgument(typeNames.back().constData(), converted[a].constData());
      }
      const bool ok =
          m.invoke(widget, Qt::DirectConnection, generic[0], generic[1], generic[2], generic[3],
                   generic[4], generic[5], generic[6], generic[7], generic[8], generic[9]);
      return ok ? Status::ok() : Status::failed("call failed");
    }
    return Status::failed("no such method");
  }

  void setEventHandler(EventHandler h) override { handler = std::move(h); }

  void deliver(const std::string& name, const Values& params) {
    if (!alive()) return;
    EventHandler h = handler;  // the handler may replace itself or remove this control
    if (h) h(name, params);
  }

  // Cuts the control off: no more operations, no more events, and the widget
  // goes once the event loop is free.
  void detach() {
    if (removed) return;
    removed = true;
    if (relay) {
      if (widget) QObject::disconnect(widget, nullptr, relay, nullptr);
      relay->deleteLater();
      relay = nullptr;
    }
    if (widget) {
      widget->hide();
      widget->deleteLater();
    }
  }

  QWidget* component() const { return alive() ? widget.data() : nullptr; }

 private:
  bool alive() const { return !removed && widget; }
  static Status removedStatus() { return Status::failed("control removed"); }

  QPointer<QWidget> widget;
  SignalRelay* relay = nullptr;  // deleted later: it may be on the stack
  EventHandler handler;
  bool removed = false;
};

SignalRelay::SignalRelay(QWidget& component, std::weak_ptr<QtExtender> owner)
    : owner(std::move(owner)) {
  const QMetaObject* meta = component.metaObject();
  const int slotBase = QObject::staticMetaObject.methodCount();
  for (int i = QWidget::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
    const QMetaMethod m = meta->method(i);
    if (m.methodType() != QMetaMethod::Signal) continue;
    const int slot = slotBase + static_cast<int>(signalsRelayed.size());
    if (QMetaObject::connect(&component, i, this, slot, Qt::DirectConnection, nullptr))
      signalsRelayed.push_back(m);
  }
}

int SignalRelay::qt_metacall(QMetaObject::Call call, int id, void** args) {
  id = QObject::qt_metacall(call, id, args);
  if (id < 0 || call != QMetaObject::InvokeMetaMethod) return id;
  const int count = static_cast<int>(signalsRelayed.size());
  if (id < count) {
    const QMetaMethod& m = signalsRelayed[id];
    Values params;
    for (int p = 0; p < m.parameterCount(); ++p)
      params.push_back(fromVariant(QVariant(m.parameterMetaType(p), args[p + 1])));
    // Held for the call, so the extender outlives its own event even when a
    // handler lets go of it.
    if (auto extender = owner.lock()) extender->deliver(m.name().toStdString(), params);
  }
  return id - count;
}

QtControlHost::QtControlHost(QWidget& clientArea, const QtComponentRegistry& registry)
    : client(&clientArea), registry(registry) {}

QtControlHost::~QtControlHost() {
  for (auto& [name, extender] : controls) extender->detach();
}

std::shared_ptr<Extender> QtControlHost::add(const std::string& progId, const std::string& name) {
  if (!client || controls.count(name)) return nullptr;
  auto widget = registry.makeWidget(progId);
  if (!widget) return nullptr;
  auto extender = std::make_shared<QtExtender>(std::move(widget), *client);
  extender->connectSignals(extender);
  controls[name] = extender;
  if (addedHandler) {
    if (QWidget* component = extender->component()) addedHandler(name, *component);
  }
  return extender;
}

Status QtControlHost::remove(const std::string& name) {
  auto it = controls.find(name);
  if (it == controls.end()) return Status::failed("no such control");
  it->second->detach();
  controls.erase(it);
  return Status::ok();
}

QWidget* QtControlHost::widgetOf(const std::string& name) const {
  auto it = controls.find(name);
  return it == controls.end() ? nullptr : it->second->component();
}

}  // namespace quillet::qt
