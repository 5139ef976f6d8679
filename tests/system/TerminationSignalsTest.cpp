// A polite request to end arrives in the event loop, never inside the
// signal handler, and closes dialogs and the window the normal way.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include "platform/qt/system/TerminationSignals.h"

namespace quillet::qt {
namespace {

TEST(TerminationSignals, EachRequestReachesTheEventLoopOnce) {
  std::vector<int> seen;
  TerminationSignals requests([&](int s) { seen.push_back(s); });
  ASSERT_TRUE(requests.active());
  for (int s : {SIGTERM, SIGINT, SIGHUP}) {
    ::raise(s);
    EXPECT_TRUE(seen.empty()) << "ran inside the signal handler";
    QTRY_COMPARE(seen.size(), 1u);
    EXPECT_EQ(seen.back(), s);
    seen.clear();
  }
}

TEST(TerminationSignals, EarlierDispositionsComeBack) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before[3];
  for (int i = 0; i < 3; ++i) ::sigaction(TerminationSignals::kSignals[i], &ignore, &before[i]);
  {
    TerminationSignals requests([](int) {});
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_NE(now.sa_handler, SIG_IGN);
  }
  for (int i = 0; i < 3; ++i) {
    struct sigaction now {};
    ::sigaction(TerminationSignals::kSignals[i], nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    ::sigaction(TerminationSignals::kSignals[i], &before[i], nullptr);
  }
}

class ClosingWindow : public QWidget {
 public:
  int closes = 0;

 protected:
  void closeEvent(QCloseEvent* e) override {
    ++closes;
    e->accept();
  }
};

// Asked to end while a modal dialog runs its own loop: the dialog goes,
// then the window gets its close event, as when the user closes it.
TEST(TerminationSignals, ClosesTheDialogThenTheWindow) {
  QApplication::setQuitOnLastWindowClosed(false);
  ClosingWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  TerminationSignals requests([&](int) { closeApplicationPolitely(&window); });

  QDialog dialog(&window);
  dialog.setModal(true);
  QTimer::singleShot(100, [] { ::raise(SIGTERM); });
  const int answer = dialog.exec();  // ends only when the request closes it
  EXPECT_EQ(answer, QDialog::Rejected);
  EXPECT_EQ(window.closes, 1);
  EXPECT_FALSE(window.isVisible());
  QApplication::setQuitOnLastWindowClosed(true);
}

}  // namespace
}  // namespace quillet::qt
