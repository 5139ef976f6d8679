// Every translation of the panel's captions fits its control at the
// design's fixed size, measured with the real fonts and style: a caption
// wider than the space its control gives the text would be clipped. And
// every text the logic shows, as it shows it, has a translation.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTranslator>

#include "platform/qt/system/Translations.h"
#include "platform/qt/window/QtWindow.h"
#include "startup/Main.h"
#include "tests/fakes/FakePlatform.h"
#include "window/Form1.h"

namespace quillet::guitest {
namespace {

QStringList languages() {
  QStringList found;
  for (const QString& file : QDir(QStringLiteral(":/i18n")).entryList({"quillet_*.qm"}))
    found << file.mid(8, file.size() - 11);
  found.sort();
  return found;
}

struct Fit {
  int text = 0;   // the caption's width, pixels
  int space = 0;  // the width the control gives its text
  bool heightFits = false;
};

Fit fitOf(QAbstractButton& control, QStyle::SubElement labelArea) {
  QStyleOptionButton option;
  option.initFrom(&control);
  option.text = control.text();
  option.iconSize = control.iconSize();
  const QRect area = control.style()->subElementRect(labelArea, &option, &control);
  const QFontMetrics metrics(control.font());
  return {metrics.horizontalAdvance(control.text()), area.width(),
          metrics.height() <= area.height()};
}

// The captions of a window made while translator (if any) is installed.
void expectCaptionsFit(const QString& language) {
  qt::QtWindow window(qt::QtWindowOptions{.bannerDelay = std::nullopt});
  struct Control {
    QAbstractButton* widget;
    QStyle::SubElement labelArea;
    const char* english;
  };
  for (const Control& c :
       {Control{&window.openFileButton(), QStyle::SE_PushButtonContents, "Open File"},
        Control{&window.command1Button(), QStyle::SE_PushButtonContents, "Website"},
        Control{&window.check1Box(), QStyle::SE_CheckBoxContents, "Associate with .flv files"}}) {
    const Fit fit = fitOf(*c.widget, c.labelArea);
    EXPECT_LE(fit.text, fit.space)
        << language.toStdString() << ": \"" << c.widget->text().toStdString() << "\" is clipped";
    EXPECT_TRUE(fit.heightFits) << language.toStdString() << ": " << c.english;
    if (language.isEmpty()) {
      EXPECT_EQ(c.widget->text(), QLatin1String(c.english));
    } else {
      EXPECT_NE(c.widget->text(), QLatin1String(c.english))
          << language.toStdString() << " leaves \"" << c.english << "\" untranslated";
    }
  }
}

TEST(TranslationFit, EveryLanguageFitsThePanelAtTheDesignSize) {
  expectCaptionsFit({});  // English, exactly as designed

  EXPECT_EQ(languages().join(' '), QStringLiteral("de es fr it ja pt_BR ru zh_CN"));
  for (const QString& language : languages()) {
    QTranslator translator;
    ASSERT_TRUE(translator.load(QStringLiteral(":/i18n/quillet_") + language));
    QCoreApplication::installTranslator(&translator);
    expectCaptionsFit(language);
    QCoreApplication::removeTranslator(&translator);
  }
}

class RecordedBoxes : public MessageBox {
 public:
  Answer askYesNoStop(const std::string& text, const std::string&) override {
    texts.push_back(text);
    return Answer::No;
  }
  std::vector<std::string> texts;
};

TEST(Translation, EveryTextTheLogicShowsIsTranslated) {
  // The texts as the logic gives them: both start-up messages, the open
  // dialog's title and its filters.
  fakes::FakePlatform p;
  RecordedBoxes boxes;
  for (const char* registered : {"", "ShockwaveFlash.ShockwaveFlash.7"}) {
    p.components.registered = {registered};
    Module1(p.components, boxes, p.processes, p.trace, [] {}).Main();
  }
  Form1 form(p.platform);
  form.OpenFile_Click();
  ASSERT_EQ(boxes.texts.size(), 2u);
  ASSERT_EQ(p.dialogs.requests.size(), 1u);
  std::vector<std::pair<const char*, std::string>> texts;
  for (const std::string& text : boxes.texts) texts.emplace_back(qt::kMessagesContext, text);
  texts.emplace_back(qt::kOpenDialogContext, p.dialogs.requests[0].title);
  for (const auto& filter : p.dialogs.requests[0].filters)
    texts.emplace_back(qt::kOpenDialogContext, filter.first);

  for (const QString& language : languages()) {
    QTranslator translator;
    ASSERT_TRUE(translator.load(QStringLiteral(":/i18n/quillet_") + language));
    for (const auto& [context, english] : texts)
      EXPECT_FALSE(translator.translate(context, english.c_str()).isEmpty())
          << language.toStdString() << " has no translation of \"" << english << "\"";
  }
}

// The desktop's language chain, as the program reads it at start: the first
// language Quillet speaks wins, English wins where it stands (its texts are
// the program's own), a chain's language without a translation passes to
// the next, and LANGUAGE comes before the locale.
TEST(Translation, TheDesktopsLanguageChainPicksTheFirstSpokenAndEnglishWhereItStands) {
  const struct {
    QStringList env;
    QString language;  // empty: the texts stay English
  } cases[] = {
      {{"LANG=C", "LANGUAGE=en_US:de"}, ""},
      {{"LANG=C", "LANGUAGE=en:fr"}, ""},
      {{"LANG=de_DE.UTF-8", "LANGUAGE=en"}, ""},
      {{"LANG=C", "LANGUAGE=fr:en"}, "fr"},
      {{"LANG=en_US.UTF-8", "LANGUAGE=de"}, "de"},
      {{"LANG=C", "LANGUAGE=eo:es"}, "es"},
      {{"LANG=C.UTF-8", "LANGUAGE=pt_BR:ja"}, "pt_BR"},
      {{"LANG=ru_RU.UTF-8"}, "ru"},
      {{"LANG=C", "LC_MESSAGES=it_IT.UTF-8"}, "it"},
      {{"LANG=en_GB.UTF-8"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env.join(' ').toStdString());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) env.remove(name);
    for (const QString& pair : c.env) env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--print-language"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QStringList out = QString::fromUtf8(child.readAllStandardOutput()).split('\n');
    ASSERT_GE(out.size(), 2) << child.readAllStandardError().toStdString();
    QTranslator expected;
    if (!c.language.isEmpty()) {
      ASSERT_TRUE(expected.load(QStringLiteral(":/i18n/quillet_") + c.language));
    }
    EXPECT_EQ(out[0], expected.language());  // the file's own language, as "es_ES"
    const QString title = c.language.isEmpty()
                              ? QStringLiteral("Select file to open")
                              : expected.translate(qt::kOpenDialogContext, "Select file to open");
    EXPECT_EQ(out[1], title);
  }
}

}  // namespace
}  // namespace quillet::guitest
