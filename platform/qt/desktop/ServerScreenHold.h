#pragma once
// The display server's own hold on its screen saver, asked when no desktop
// service holds the screen awake (the X server's, platform/qt/x11/).

namespace quillet::qt {

class ServerScreenHold {
 public:
  virtual ~ServerScreenHold() = default;
  // Whether the server can hold its saver off at all.
  virtual bool canHold() const = 0;
  // False when the server refused, or there is none.
  virtual bool hold() = 0;
  virtual void release() = 0;
};

}  // namespace quillet::qt
