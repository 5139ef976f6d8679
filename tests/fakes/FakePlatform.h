#pragma once
// Recording fakes of every platform interface. Each call is written to one
// Journal; state that the logic reads back (sizes, registrations, answers)
// is plain data a test can set up.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/fakes/FakeTrace.h"
#include "tests/fakes/Journal.h"

namespace quillet::fakes {

class FakePanel : public Panel {
 public:
  FakePanel(Journal& j, std::string name, double height) : j(j), name(std::move(name)), h(height) {}
  Maybe<double> height() const override { return h; }
  Status setTop(double v) override {
    j.add(name + ".Top=" + num(v));
    top = v;
    if (onSetTop) onSetTop();
    return Status::ok();
  }
  Status setWidth(double v) override {
    if (v < 0) return Status::failed("negative width");
    j.add(name + ".Width=" + num(v));
    width = v;
    return Status::ok();
  }
  Status setVisible(bool v) override {
    j.add(name + ".Visible=" + (v ? "True" : "False"));
    visible = v;
    return Status::ok();
  }
  Journal& j;
  std::string name;
  double h, top = 0, width = 0;
  bool visible = true;
  std::function<void()> onSetTop;  // lets a test act in the middle of a layout
};

class FakeWebBrowser : public WebBrowser {
 public:
  explicit FakeWebBrowser(Journal& j) : j(j) {}
  Maybe<double> height() const override { return h; }
  Status setTop(double v) override {
    j.add("WebBrowser1.Top=" + num(v));
    top = v;
    return Status::ok();
  }
  Status setWidth(double v) override {
    if (v < 0) return Status::failed("negative width");
    j.add("WebBrowser1.Width=" + num(v));
    width = v;
    return Status::ok();
  }
  Status navigate(const std::string& address) override {
    j.add("WebBrowser1.Navigate " + address);
    navigated.push_back(address);
    return Status::ok();
  }
  Journal& j;
  double h = 1215, top = 0, width = 0;
  std::vector<std::string> navigated;
};

class FakeCheckBox : public CheckBox {
 public:
  int value() const override { return v; }
  int v = 1;
};

// A window whose outer size is its client size plus a frame while it has the
// sizable border; border changes keep the client size, as on the desktop.
class FakeWindow : public Window {
 public:
  explicit FakeWindow(Journal& j) : j(j), panel(j, "Picture3", 720), browser(j) {}

  void setEvents(WindowEvents* e) override { events = e; }
  Maybe<double> width() const override {
    if (failReads) return std::nullopt;
    return clientW + (border == kBorderSizable ? frameW : 0);
  }
  Maybe<double> height() const override {
    if (failReads) return std::nullopt;
    return clientH + (border == kBorderSizable && !frameUntold ? frameH : 0);
  }
  Status setWidth(double v) override {
    j.add("Form1.Width=" + num(v));
    double client = std::max(0.0, v - (border == kBorderSizable ? frameW : 0));
    bool changed = client != clientW;
    clientW = client;
    if (changed && events) events->Form_Resize();
    return Status::ok();
  }
  Status setHeight(double v) override {
    j.add("Form1.Height=" + num(v));
    double client = std::max(0.0, v - (border == kBorderSizable ? frameH : 0));
    bool changed = client != clientH;
    clientH = client;
    if (changed && events) events->Form_Resize();
    return Status::ok();
  }
  Status setTop(double v) override {
    j.add("Form1.Top=" + num(v));
    top = v;
    return Status::ok();
  }
  Status setLeft(double v) override {
    j.add("Form1.Left=" + num(v));
    left = v;
    return Status::ok();
  }
  Maybe<double> outerTop() const override {
    if (failReads) return std::nullopt;
    return top;
  }
  Maybe<double> outerLeft() const override {
    if (failReads) return std::nullopt;
    return left;
  }
  Status setBorderStyle(int s) override {
    j.add("Form1.BorderStyle=" + std::to_string(s));
    border = s;
    return Status::ok();
  }
  Status setCaption(const std::string& c) override {
    j.add("Form1.Caption=" + c);
    caption = c;
    return Status::ok();
  }
  WindowHandle hWnd() const override { return 0x1234; }
  void learnFrame() override {
    j.add("Form1.LearnFrame");
    frameUntold = false;
  }
  Status show() override {
    j.add("Form1.Show");
    shown = true;
    if (events) events->Form_Resize();
    return Status::ok();
  }
  Panel& picture3() override { return panel; }
  WebBrowser& webBrowser1() override { return browser; }
  CheckBox& check1() override { return check; }

  // Lets a test change the size as the user would (runs Form_Resize).
  void userResize(double outerW, double outerH) {
    clientW = outerW - (border == kBorderSizable ? frameW : 0);
    clientH = outerH - (border == kBorderSizable ? frameH : 0);
    if (events) events->Form_Resize();
  }

  Journal& j;
  WindowEvents* events = nullptr;
  double clientW = 11550, clientH = 6255;
  double frameW = 30, frameH = 600;  // twips of the sizable frame
  // A window manager that tells the frame only when asked: the outer
  // height leaves it out until then.
  bool frameUntold = false;
  double top = 0, left = 0;
  int border = kBorderSizable;
  std::string caption = "Quillet";
  bool shown = false, failReads = false;
  FakePanel panel;
  FakeWebBrowser browser;
  FakeCheckBox check;
};

class FakeScreen : public Screen {
 public:
  double twipsPerPixelX() const override { return tppX; }
  double twipsPerPixelY() const override { return tppY; }
  Maybe<double> widthTwips() const override { return widthPx * tppX; }
  Maybe<double> heightTwips() const override { return heightPx * tppY; }
  Maybe<double> leftTwips() const override { return leftPx * tppX; }
  Maybe<double> topTwips() const override { return topPx * tppY; }
  double tppX = 15, tppY = 15;
  double widthPx = 1920, heightPx = 1080;
  double leftPx = 0, topPx = 0;  // where the screen sits on the desktop
};

class FakeExtender : public Extender {
 public:
  FakeExtender(Journal& j, std::string id) : j(j), id(std::move(id)) {}
  Status setVisible(bool v) override { return rec("Visible", Value(v)); }
  Status setTop(const Value& v) override { return rec("Top", v); }
  Status setWidth(const Value& v) override { return size("Width", v); }
  Status setHeight(const Value& v) override { return size("Height", v); }
  Status setProperty(const std::string& name, const Value& v) override { return rec(name, v); }
  Status call(const std::string& method, const Values& args) override {
    if (removed) return Status::failed("removed");
    std::string e = id + "." + method + "(";
    for (size_t i = 0; i < args.size(); ++i) e += (i ? ", " : "") + describe(args[i]);
    j.add(e + ")");
    return Status::ok();
  }
  void setEventHandler(EventHandler h) override { handler = std::move(h); }
  // Raises an event as the component would.
  void raise(const std::string& name, const Values& params) {
    if (handler) handler(name, params);
  }

  Journal& j;
  std::string id;
  bool removed = false;
  std::map<std::string, Value> props;
  EventHandler handler;

 private:
  Status rec(const std::string& name, const Value& v) {
    if (removed) return Status::failed("removed");
    j.add(id + "." + name + "=" + describe(v));
    props[name] = v;
    return Status::ok();
  }
  Status size(const std::string& name, const Value& v) {
    auto n = asNumber(v);
    if (!n || *n < 0) return Status::failed("invalid size");
    return rec(name, v);
  }
};

// Controls get ids "ctl1", "ctl2", ... in creation order.
class FakeControlHost : public ControlHost {
 public:
  explicit FakeControlHost(Journal& j) : j(j) {}
  std::shared_ptr<Extender> add(const std::string& progId, const std::string& name) override {
    j.add("Controls.Add " + progId + " " + name);
    if (failAdd || !registered.count(progId)) return nullptr;
    auto e = std::make_shared<FakeExtender>(j, "ctl" + std::to_string(++made));
    byName[name] = e;
    all.push_back(e);
    return e;
  }
  Status remove(const std::string& name) override {
    j.add("Controls.Remove " + name);
    auto it = byName.find(name);
    if (it == byName.end()) return Status::failed("no such control");
    it->second->removed = true;
    byName.erase(it);
    return Status::ok();
  }
  std::shared_ptr<FakeExtender> named(const std::string& name) const {
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
  }

  Journal& j;
  std::set<std::string> registered{"ShockwaveFlash.ShockwaveFlash"};
  bool failAdd = false;
  int made = 0;
  std::map<std::string, std::shared_ptr<FakeExtender>> byName;
  std::vector<std::shared_ptr<FakeExtender>> all;
};

class FakeComponentRegistry : public ComponentRegistry {
 public:
  struct Instance : ComponentInstance {
    Instance(int& alive) : alive(alive) { ++alive; }
    ~Instance() override { --alive; }
    int& alive;
  };
  explicit FakeComponentRegistry(Journal& j) : j(j) {}
  std::unique_ptr<ComponentInstance> create(const std::string& progId) override {
    j.add("Create " + progId);
    if (!registered.count(progId)) return nullptr;
    return std::make_unique<Instance>(alive);
  }
  Journal& j;
  std::set<std::string> registered;
  int alive = 0;  // instances not yet released
};

class FakeMessageBox : public MessageBox {
 public:
  explicit FakeMessageBox(Journal& j) : j(j) {}
  Answer askYesNoStop(const std::string& text, const std::string& title) override {
    j.add("MessageBox " + title + ": " + text);
    return answer;
  }
  Journal& j;
  Answer answer = Answer::No;
};

class FakeProcesses : public Processes {
 public:
  explicit FakeProcesses(Journal& j) : j(j) {}
  Status openUrl(const std::string& address) override {
    j.add("OpenUrl " + address);
    return Status::ok();
  }
  std::string argumentText() const override { return arguments; }
  Journal& j;
  std::string arguments;
};

// An in-memory file system for the temporary movie.
class FakeFiles : public Files {
 public:
  explicit FakeFiles(Journal& j) : j(j) {}
  std::string tempPath() override {
    j.add("GetTempPath");
    return temp;
  }
  Maybe<std::string> createUniqueFile(const std::string& dir, const std::string& prefix) override {
    j.add("CreateUniqueFile " + dir + " " + prefix);
    if (failCreate) return std::nullopt;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", ++counter);
    std::string path = dir + prefix.substr(0, 3) + hex + ".tmp";
    files[path] = {};
    return path;
  }
  Maybe<Bytes> readResource(int id) override {
    auto it = resources.find(id);
    if (it == resources.end()) return std::nullopt;
    return it->second;
  }
  Status writeFile(const std::string& path, const Bytes& bytes) override {
    j.add("WriteFile " + path);
    auto it = files.find(path);
    if (it == files.end() || failWrite) return Status::failed("cannot open");
    if (it->second.size() < bytes.size()) it->second.resize(bytes.size());
    std::copy(bytes.begin(), bytes.end(), it->second.begin());
    return Status::ok();
  }
  Status deleteFile(const std::string& path) override {
    j.add("DeleteFile " + path);
    return files.erase(path) ? Status::ok() : Status::failed("no such file");
  }
  Maybe<std::vector<std::string>> listFolder(const std::string& dir) override {
    j.add("ListFolder " + dir);
    auto it = folders.find(dir);
    if (it == folders.end()) return std::nullopt;
    return it->second;
  }
  std::string exePath() override { return exe; }
  std::string programFolder() override { return exe.substr(0, exe.rfind('/')); }

  Journal& j;
  std::string temp = "/tmp";
  std::string exe = "/opt/quillet/bin/quillet";
  bool failCreate = false, failWrite = false;
  unsigned counter = 0;
  std::map<std::string, Bytes> files;
  std::map<std::string, std::vector<std::string>> folders;  // listed in the given order
  std::map<int, Bytes> resources{{101, Bytes{'C', 'W', 'S', 7, 1, 2, 3}}};
};

class FakeRegistry : public Registry {
 public:
  struct Session : RegistrySession {
    explicit Session(FakeRegistry& r) : r(r) {}
    ~Session() override { r.j.add("Registry.Close"); }
    Status regWrite(const std::string& name, const std::string& data) override {
      r.j.add("regwrite " + name + " = " + data);
      if (r.refuse.count(name)) return Status::failed("refused");
      r.data[name] = data;
      return Status::ok();
    }
    // A key ("...\\") goes with everything below it.
    Status regDelete(const std::string& name) override {
      r.j.add("regdelete " + name);
      if (r.refuse.count(name)) return Status::failed("refused");
      if (!name.empty() && name.back() == '\\') {
        std::erase_if(r.data, [&](const auto& e) { return e.first.rfind(name, 0) == 0; });
      } else {
        r.data.erase(name);
      }
      return Status::ok();
    }
    Maybe<std::string> regRead(const std::string& name) override {
      r.j.add("regread " + name);
      auto it = r.data.find(name);
      if (it == r.data.end()) return std::nullopt;
      return it->second;
    }
    FakeRegistry& r;
  };
  explicit FakeRegistry(Journal& j) : j(j) {}
  std::unique_ptr<RegistrySession> open() override {
    j.add("Registry.Open");
    if (failOpen) return nullptr;
    return std::make_unique<Session>(*this);
  }
  Journal& j;
  bool failOpen = false;
  // What the sessions wrote, by full name; a test may seed it.
  std::map<std::string, std::string> data;
  // Names whose operations fail (still recorded).
  std::set<std::string> refuse;
};

class FakeDialogs : public Dialogs {
 public:
  explicit FakeDialogs(Journal& j) : j(j) {}
  std::optional<std::string> getOpenFileName(const OpenFileRequest& r) override {
    j.add("OpenDialog " + r.title);
    requests.push_back(r);
    return answer;
  }
  Journal& j;
  std::optional<std::string> answer;
  std::vector<OpenFileRequest> requests;
};

class FakeDrops : public Drops {
 public:
  explicit FakeDrops(Journal& j) : j(j) {}
  void dragAcceptFiles(WindowHandle w, bool accept) override {
    j.add("DragAcceptFiles " + std::to_string(w) + " " + (accept ? "1" : "0"));
    accepting = accept;
  }
  std::intptr_t setWindowProc(WindowHandle w, WindowProc p) override {
    j.add("SetWindowProc " + std::to_string(w));
    if (failHook) return 0;
    proc = std::move(p);
    return kOriginalProc;
  }
  std::intptr_t restoreWindowProc(WindowHandle w, std::intptr_t previous) override {
    j.add("RestoreWindowProc " + std::to_string(w) + " " + std::to_string(previous));
    proc = nullptr;
    return 1;
  }
  void callWindowProc(std::intptr_t previous, WindowHandle w, const WindowMessage& m) override {
    j.add("CallWindowProc " + std::to_string(previous) + " " + std::to_string(w) +
          (m.isDrop ? " drop" : " other"));
  }
  std::string dragQueryFile(DropHandle d, int index) override {
    j.add("DragQueryFile " + std::to_string(d) + " " + std::to_string(index));
    auto it = drops.find(d);
    if (it == drops.end() || index < 0 || index >= static_cast<int>(it->second.size())) return {};
    return it->second[index];
  }
  void dragFinish(DropHandle d) override { j.add("DragFinish " + std::to_string(d)); }
  // Delivers an event to the hooked window, as the desktop would.
  void deliver(const WindowMessage& m) {
    if (proc) proc(m);
  }

  static constexpr std::intptr_t kOriginalProc = 77;
  Journal& j;
  bool accepting = false, failHook = false;
  WindowProc proc;
  std::map<DropHandle, std::vector<std::string>> drops;
};

// All fakes, bundled the way the program bundles the real ones.
struct FakePlatform {
  Journal journal;
  FakeWindow window{journal};
  FakeScreen screen;
  FakeControlHost controls{journal};
  FakeComponentRegistry components{journal};
  FakeMessageBox messageBox{journal};
  FakeProcesses processes{journal};
  FakeFiles files{journal};
  FakeRegistry registry{journal};
  FakeDialogs dialogs{journal};
  FakeDrops drops{journal};
  FakeTrace trace;
  Platform platform{window, screen,   controls, components, messageBox, processes,
                    files,  registry, dialogs,  drops,      trace};
};

}  // namespace quillet::fakes
