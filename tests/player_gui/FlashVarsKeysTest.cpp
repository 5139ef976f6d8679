// Every FlashVars key the player reads, with the values it accepts and the
// ones it refuses, seen from outside: what the engine is asked, what is
// shown and in which colours.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <memory>

#include "FakeEngine.h"
#include "player/surface/FlashPlayerWidget.h"

namespace {

using quillet::player::FlashPlayerWidget;
using quillet::player::testing::FakeEngine;
using Part = FlashPlayerWidget::Part;

// A fresh player with a fake engine, loaded with the given FlashVars; what
// the key under test changes, as a short text.
QString outcome(const QString& key, const QString& vars) {
  auto fake = std::make_unique<FakeEngine>();
  FakeEngine* engine = fake.get();
  FlashPlayerWidget player(std::move(fake));
  player.resize(400, 300);
  player.setProperty("FlashVars", vars);
  QMetaObject::invokeMethod(&player, "LoadMovie", Q_ARG(int, 0),
                            Q_ARG(QString, QStringLiteral(QUILLET_PLAYER_MOVIE_PATH)));
  if (!player.movieLoaded()) return QStringLiteral("no movie");
  const auto shown = [&](Part part) {
    return player.isShown(part) ? QStringLiteral("shown") : QStringLiteral("hidden");
  };
  const auto colourAt = [&](QPoint at) { return player.grab().toImage().pixelColor(at).name(); };
  if (key == "autoplay" || key == "flv" || key == "mp3" || key == "xml") {
    const QStringList calls = engine->playbackCalls();
    return calls.isEmpty() ? QStringLiteral("nothing opened") : calls.join(' ');
  }
  if (key == "vseek") {
    // 55 s of 100, beyond the 30 s loaded: a reopen at the key frame before
    // it, or a plain seek.
    engine->durationSeconds = 100;
    emit engine->durationChanged(100);
    engine->seekable = 30;
    engine->index.times = {0, 20, 40, 60};
    engine->index.filePositions = {13, 2000, 4000, 6000};
    player.playback().seekTo(55);
    return engine->calls.last();
  }
  if (key == "jpg") return shown(Part::Preview);
  if (key == "fullscreen") return shown(Part::Full);
  if (key == "effect") return shown(Part::Shadow);
  if (key == "volumen") return QString::number(player.volume());
  if (key == "NumVideoDuracion") return QString::number(player.duration());
  // The bar's own background at its corner, and the play symbol's middle.
  if (key == "backcolor") return colourAt(player.partRect(Part::Bar).topLeft() + QPoint(1, 2));
  const QRect play = player.partRect(Part::Play);
  return colourAt(QPoint(play.left() + 5 + (play.width() - 8) / 3, play.center().y()));
}

TEST(FlashVarsKeys, EachKeyAcceptsItsValuesAndRefusesTheRest) {
  struct Case {
    const char* key;
    QString value;  // "(absent)": the key is not given at all
    QString expected;
  };
  const QString absent = QStringLiteral("(absent)");
  const QString paused = QStringLiteral("open(/v/c.flv,paused,0)");
  const QString white = QStringLiteral("#ffffff"), black = QStringLiteral("#000000");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QImage picture(8, 6, QImage::Format_RGB32);
  picture.fill(Qt::green);
  const QString jpg = dir.filePath(QStringLiteral("preview.png"));
  ASSERT_TRUE(picture.save(jpg));
  const std::vector<Case> cases{
      // autoplay: exactly "true" plays at once; anything else waits for a click.
      {"autoplay", "true", "open(/v/c.flv,playing,0)"},
      {"autoplay", "TRUE", paused},
      {"autoplay", "True", paused},
      {"autoplay", "truex", paused},
      {"autoplay", "true ", paused},
      {"autoplay", " true", paused},
      {"autoplay", "tru", paused},
      {"autoplay", "1", paused},
      {"autoplay", "yes", paused},
      {"autoplay", "", paused},
      {"autoplay", "false", paused},
      {"autoplay", absent, paused},
      // fullscreen and effect: exactly "false" hides; anything else shows.
      {"fullscreen", "false", "hidden"},
      {"fullscreen", "FALSE", "shown"},
      {"fullscreen", "falsey", "shown"},
      {"fullscreen", "0", "shown"},
      {"fullscreen", "", "shown"},
      {"fullscreen", absent, "shown"},
      {"effect", "false", "hidden"},
      {"effect", "False", "shown"},
      {"effect", "false ", "shown"},
      {"effect", "", "shown"},
      {"effect", absent, "shown"},
      // Colours: up to six hexadecimal digits, after "#" or "0x" if at all.
      {"frontcolor", "ff0000", "#ff0000"},
      {"frontcolor", "#00ff00", "#00ff00"},
      {"frontcolor", "0x0000FF", "#0000ff"},
      {"frontcolor", "0X00fF00", "#00ff00"},
      {"frontcolor", " ffff00 ", "#ffff00"},
      {"frontcolor", "f0", "#0000f0"},
      {"frontcolor", "1234567", white},
      {"frontcolor", "gg0000", white},
      {"frontcolor", "ff 000", white},
      {"frontcolor", "#", white},
      {"frontcolor", "0x", white},
      {"frontcolor", "-f0000", white},
      {"frontcolor", "", white},
      {"frontcolor", absent, white},
      {"backcolor", "336699", "#336699"},
      {"backcolor", "#FF8000", "#ff8000"},
      {"backcolor", "0x00ff00", "#00ff00"},
      {"backcolor", "fffffff", black},
      {"backcolor", "red", black},
      {"backcolor", "", black},
      {"backcolor", absent, black},
      // volumen: a number, rounded and held to 0..100; otherwise 75.
      {"volumen", "50", "50"},
      {"volumen", " 30 ", "30"},
      {"volumen", "12.6", "13"},
      {"volumen", "1e1", "10"},
      {"volumen", "150", "100"},
      {"volumen", "-5", "0"},
      {"volumen", "0", "0"},
      {"volumen", "abc", "75"},
      {"volumen", "50%", "75"},
      {"volumen", "nan", "75"},
      {"volumen", "inf", "75"},
      {"volumen", "", "75"},
      {"volumen", absent, "75"},
      // NumVideoDuracion: a positive number of seconds; otherwise none.
      {"NumVideoDuracion", "120", "120"},
      {"NumVideoDuracion", " 2.5 ", "2.5"},
      {"NumVideoDuracion", "0", "0"},
      {"NumVideoDuracion", "-3", "0"},
      {"NumVideoDuracion", "ten", "0"},
      {"NumVideoDuracion", "inf", "0"},
      {"NumVideoDuracion", "", "0"},
      // vseek: any non-empty name reopens beyond the loaded part.
      {"vseek", "start", "open(/v/c.flv?start=4000,paused,40)"},
      {"vseek", "pos", "open(/v/c.flv?pos=4000,paused,40)"},
      {"vseek", "", "seek(55)"},
      {"vseek", absent, "seek(55)"},
      // jpg: a picture that can be read shows until the first play.
      {"jpg", jpg, "shown"},
      {"jpg", dir.filePath(QStringLiteral("absent.png")), "hidden"},
      {"jpg", "", "hidden"},
      {"jpg", absent, "hidden"},
      // mp3 wins over flv unless empty; an empty source opens nothing; xml
      // skips the start-up handling.
      {"mp3", "/m/s.mp3", "open(/m/s.mp3,paused,0)"},
      {"mp3", "", paused},
      {"flv", "", "nothing opened"},
      {"xml", "list.xml", "nothing opened"},
      {"xml", "", "nothing opened"},
  };
  for (const Case& c : cases) {
    const QString key = QString::fromLatin1(c.key);
    // Every case plays /v/c.flv unless the key itself is the source.
    QString vars = key == "flv" ? QString() : QStringLiteral("flv=/v/c.flv");
    if (c.value != absent) vars += (vars.isEmpty() ? "" : "&") + key + '=' + c.value;
    EXPECT_EQ(outcome(key, vars).toStdString(), c.expected.toStdString())
        << c.key << "=\"" << c.value.toStdString() << '"';
  }
}

}  // namespace
