// The load and the opening of a video over the real control host and the
// real player component, with the trace recorded: no step that should work
// is skipped. A property or method that the program and the player spell
// differently shows up here as a skipped step. Also the trace's Qt logging
// categories: silent by default, each step and reason once switched on.
#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QStringList>

#include "platform/qt/system/QtTrace.h"
#include "tests/support/RealProgram.h"

namespace quillet::hostile {
namespace {

using Part = player::FlashPlayerWidget::Part;

TEST(RealSteps, LoadAndOpeningAVideoSkipNoStep) {
  auto program = std::make_unique<RealProgram>();
  const fakes::FakeTrace& trace = program->fakes.trace;
  program->form.Show();
  QWidget& w = program->window.widget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_EQ(trace.skips(), std::vector<std::string>{}) << "at load";

  program->form.GotADrop(QUILLET_TEST_DATA "/vp6f_mp3_on2_clip.flv");
  const auto playing = [&] {
    auto* p = program->currentPlayer();
    return p && p->displayedTime() != "00:00" && !p->isShown(Part::Message);
  };
  EXPECT_TRUE(waitFor(playing, 20000)) << "the video does not play";
  EXPECT_EQ(trace.skips(), std::vector<std::string>{}) << "opening the video";

  // Every property and the method the program sets reached the player.
  const auto ran = trace.ranSteps();
  for (const char* step :
       {"LoadIdlePlayer: WMode", "LoadIdlePlayer: FlashVars", "LoadIdlePlayer: LoadMovie",
        "LoadIdlePlayer: BackgroundColor", "GotADrop: WMode", "GotADrop: BGColor", "GotADrop: Menu",
        "GotADrop: Quality2", "GotADrop: FlashVars", "GotADrop: LoadMovie"})
    EXPECT_NE(std::find(ran.begin(), ran.end(), step), ran.end()) << step;

  w.close();
  program.reset();
}

// What the Qt trace writes, by category, while the test runs.
QStringList* captured = nullptr;
void capture(QtMsgType, const QMessageLogContext& context, const QString& text) {
  if (captured) captured->append(QString::fromLatin1(context.category) + " " + text);
}

TEST(RealSteps, TheQtTraceIsSilentUntilTheLoggingRulesAskForIt) {
  QStringList lines;
  captured = &lines;
  const QtMessageHandler previous = qInstallMessageHandler(capture);
  qt::QtTrace trace;

  trace.ran(TraceArea::Load, "window width");
  trace.skipped(TraceArea::Playback, "GotADrop: Menu", "no such property");
  EXPECT_TRUE(lines.isEmpty()) << lines.join('\n').toStdString();

  QLoggingCategory::setFilterRules(QStringLiteral("quillet.*=true"));
  trace.ran(TraceArea::Load, "window width");
  trace.skipped(TraceArea::Playback, "GotADrop: Menu", "no such property");
  trace.skipped(TraceArea::Shell, "HandleDrop", "no readable file in the drop");
  trace.ran(TraceArea::Startup, "Main: create X");
  trace.ran(TraceArea::Window, "Form_Resize: panel Top");
  // Only the skipped steps, at info level.
  QLoggingCategory::setFilterRules(QStringLiteral("quillet.*.info=true"));
  trace.ran(TraceArea::Load, "caption");
  trace.skipped(TraceArea::Load, "show the window", "refused");
  QLoggingCategory::setFilterRules(QString());

  qInstallMessageHandler(previous);
  captured = nullptr;
  EXPECT_EQ(lines,
            QStringList({"quillet.load window width",
                         "quillet.playback GotADrop: Menu skipped: no such property",
                         "quillet.shell HandleDrop skipped: no readable file in the drop",
                         "quillet.startup Main: create X", "quillet.window Form_Resize: panel Top",
                         "quillet.load show the window skipped: refused"}));
}

}  // namespace
}  // namespace quillet::hostile
