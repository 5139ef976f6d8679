#pragma once
// The main window and its designed controls. Every position and size is in
// twips; the window's width and height are its outer size (frame included).

#include <cstdint>
#include <string>

#include "platform/Status.h"

namespace quillet {

using WindowHandle = std::uintptr_t;

// What the window tells its logic. A size change made through setWidth or
// setHeight reaches Form_Resize before the setter returns.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void Form_Resize() = 0;
  virtual void Form_Unload() = 0;
  virtual void OpenFile_Click() = 0;
  virtual void Command1_Click() = 0;
  virtual void Check1_Click() = 0;
};

enum BorderStyle : int { kBorderNone = 0, kBorderSizable = 2 };

class Panel {  // Picture3
 public:
  virtual ~Panel() = default;
  virtual Maybe<double> height() const = 0;
  virtual Status setTop(double twips) = 0;
  virtual Status setWidth(double twips) = 0;
  virtual Status setVisible(bool visible) = 0;
};

class WebBrowser {  // WebBrowser1
 public:
  virtual ~WebBrowser() = default;
  virtual Maybe<double> height() const = 0;
  virtual Status setTop(double twips) = 0;
  virtual Status setWidth(double twips) = 0;
  // Starts loading the page and returns at once.
  virtual Status navigate(const std::string& address) = 0;
};

class CheckBox {  // Check1
 public:
  virtual ~CheckBox() = default;
  virtual int value() const = 0;  // 0 unchecked, 1 checked
};

class Window {  // Form1's window
 public:
  virtual ~Window() = default;
  virtual void setEvents(WindowEvents* events) = 0;

  virtual Maybe<double> width() const = 0;
  virtual Maybe<double> height() const = 0;
  virtual Status setWidth(double twips) = 0;
  virtual Status setHeight(double twips) = 0;
  virtual Status setTop(double twips) = 0;
  virtual Status setLeft(double twips) = 0;
  // The outer frame's top-left corner on the desktop, as setTop and setLeft
  // place it; nullopt where the window cannot tell.
  virtual Maybe<double> outerTop() const { return std::nullopt; }
  virtual Maybe<double> outerLeft() const { return std::nullopt; }
  virtual Status setBorderStyle(int style) = 0;
  // Re-setting the caption is where a border change is applied.
  virtual Status setCaption(const std::string& caption) = 0;
  virtual WindowHandle hWnd() const = 0;
  // Shows the window modeless; the first display runs Form_Resize.
  virtual Status show() = 0;
  // A step of the load, before the frame is measured: finds out the frame
  // the decorated window will have, which may mean a bounded wait for the
  // window manager. Until then the decorated window's frame reads as none.
  virtual void learnFrame() {}

  virtual Panel& picture3() = 0;
  virtual WebBrowser& webBrowser1() = 0;
  virtual CheckBox& check1() = 0;
};

// The screen the window is on.
class Screen {
 public:
  virtual ~Screen() = default;
  virtual double twipsPerPixelX() const = 0;
  virtual double twipsPerPixelY() const = 0;
  virtual Maybe<double> widthTwips() const = 0;
  virtual Maybe<double> heightTwips() const = 0;
  // The screen's top-left corner on the desktop, in the window's coordinates.
  virtual Maybe<double> leftTwips() const { return 0.0; }
  virtual Maybe<double> topTwips() const { return 0.0; }
};

}  // namespace quillet
