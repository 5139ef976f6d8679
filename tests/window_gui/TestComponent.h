#pragma once
// A small component of our own for the control host: properties, a method
// and a signal, all reached by name.

#include <QString>
#include <QWidget>
#include <functional>

namespace quillet::guitest {

class TestComponent : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Caption MEMBER caption)
  Q_PROPERTY(int Count MEMBER count)
  Q_PROPERTY(bool Flag MEMBER flag)
  Q_PROPERTY(QString Fixed READ fixed)

 public:
  Q_INVOKABLE void Poke(int layer, const QString& text) {
    pokes.push_back({layer, text});
    if (onPoke) onPoke();
  }
  QString fixed() const { return "fixed"; }

  QString caption;
  int count = 0;
  bool flag = false;
  std::vector<std::pair<int, QString>> pokes;
  std::function<void()> onPoke;

 signals:
  void Fired(const QString& what, int howMany);
  void Pinged();
};

}  // namespace quillet::guitest
