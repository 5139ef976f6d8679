#include "player/movie/MovieFile.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <random>
#include <vector>

using namespace quillet::player;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = f.readAll();
  return Bytes(data.begin(), data.end());
}

Bytes ourMovie() {
  return readAll(QStringLiteral(QUILLET_PLAYER_MOVIE_PATH));
}

void putLength(Bytes& file, std::uint32_t length) {
  for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
}

// The movie's uncompressed body (everything after the 8-byte header).
Bytes inflateBody(const Bytes& cws) {
  const std::uint32_t length = cws[4] | (cws[5] << 8) | (cws[6] << 16) | (cws[7] << 24);
  Bytes body(length - 8);
  uLongf size = body.size();
  if (uncompress(body.data(), &size, cws.data() + 8, cws.size() - 8) != Z_OK) return {};
  body.resize(size);
  return body;
}

Bytes makeFile(const char* signature, int version, const Bytes& body, bool compress) {
  Bytes file = {std::uint8_t(signature[0]),
                std::uint8_t(signature[1]),
                std::uint8_t(signature[2]),
                std::uint8_t(version),
                0,
                0,
                0,
                0};
  putLength(file, static_cast<std::uint32_t>(8 + body.size()));
  if (!compress) {
    file.insert(file.end(), body.begin(), body.end());
    return file;
  }
  uLongf size = compressBound(body.size());
  Bytes packed(size);
  compress2(packed.data(), &size, body.data(), body.size(), Z_DEFAULT_COMPRESSION);
  file.insert(file.end(), packed.begin(), packed.begin() + size);
  return file;
}

// A small, well-formed movie of someone else's: stage, one frame, End.
Bytes foreignBody() {
  // RECT with 15-bit fields 0, 11000, 0, 8000 twips, 24 fps, 1 frame.
  Bytes body = {0x78, 0x00, 0x05, 0x5f, 0x00, 0x00, 0x0f, 0xa0, 0x00, 0x00, 0x18, 0x01, 0x00};
  const Bytes tags = {0x40, 0x00,   // ShowFrame
                      0x00, 0x00};  // End
  body.insert(body.end(), tags.begin(), tags.end());
  return body;
}

class MovieFiles : public ::testing::Test {
 protected:
  QString write(const QString& name, const Bytes& bytes) {
    const QString path = dir_.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
  }
  QTemporaryDir dir_;
};

}  // namespace

TEST(PlayerMovie, GeneratedFileHasTheStatedFormat) {
  const Bytes movie = ourMovie();
  ASSERT_GT(movie.size(), 8u);
  EXPECT_EQ(movie[0], 'C');
  EXPECT_EQ(movie[1], 'W');
  EXPECT_EQ(movie[2], 'S');
  EXPECT_EQ(movie[3], 7);
  EXPECT_EQ(movie[8], 0x78);
  EXPECT_EQ(movie[9], 0x9c);
  const Bytes body = inflateBody(movie);
  ASSERT_FALSE(body.empty());
  const std::uint32_t length = movie[4] | (movie[5] << 8) | (movie[6] << 16) | (movie[7] << 24);
  EXPECT_EQ(length, body.size() + 8);
  // The header's RECT is 0..8000 by 0..6000 twips; rate 30.0; 5 frames.
  const auto info = parseMovie(movie);
  ASSERT_TRUE(info.has_value());
  EXPECT_TRUE(info->compressed);
  EXPECT_EQ(info->version, 7);
  EXPECT_EQ(info->length, length);
  EXPECT_EQ(info->xMin, 0);
  EXPECT_EQ(info->xMax, 8000);
  EXPECT_EQ(info->yMin, 0);
  EXPECT_EQ(info->yMax, 6000);
  EXPECT_DOUBLE_EQ(info->frameRate, 30.0);
  EXPECT_EQ(info->frameCount, 5);
  EXPECT_TRUE(isPlayerMovie(*info));
  for (const char* name : kPlayerPartNames) {
    EXPECT_TRUE(info->instanceNames.contains(QString::fromLatin1(name))) << name;
  }
  // Its background tag is white: SetBackgroundColor (code 9, length 3).
  const std::size_t rectBytes = (5 + 4 * 14 + 7) / 8;
  const std::size_t firstTag = rectBytes + 4;
  ASSERT_GT(body.size(), firstTag + 5);
  EXPECT_EQ(body[firstTag], 0x43);
  EXPECT_EQ(body[firstTag + 1], 0x02);
  EXPECT_EQ(body[firstTag + 2], 0xff);
  EXPECT_EQ(body[firstTag + 3], 0xff);
  EXPECT_EQ(body[firstTag + 4], 0xff);
}

TEST_F(MovieFiles, AcceptsOurMovieCompressedAndPlain) {
  EXPECT_TRUE(readPlayerMovie(QStringLiteral(QUILLET_PLAYER_MOVIE_PATH)).has_value());
  // The name carries no .swf extension when the host extracts it.
  EXPECT_TRUE(readPlayerMovie(write("TMP1A2B.tmp", ourMovie())).has_value());
  const Bytes plain = makeFile("FWS", 7, inflateBody(ourMovie()), false);
  const auto info = readPlayerMovie(write("plain", plain));
  ASSERT_TRUE(info.has_value());
  EXPECT_FALSE(info->compressed);
}

TEST_F(MovieFiles, RefusesMissingEmptyAndSpecialFiles) {
  EXPECT_FALSE(readPlayerMovie(QString()).has_value());
  EXPECT_FALSE(readPlayerMovie(dir_.filePath("absent")).has_value());
  EXPECT_FALSE(readPlayerMovie(write("empty", {})).has_value());
  EXPECT_FALSE(readPlayerMovie(dir_.path()).has_value());
  EXPECT_FALSE(readPlayerMovie(QStringLiteral("/dev/zero")).has_value());
  EXPECT_FALSE(readPlayerMovie(QStringLiteral("/dev/null")).has_value());
}

TEST_F(MovieFiles, RefusesEveryTruncation) {
  const Bytes movie = ourMovie();
  for (std::size_t n = 0; n < movie.size(); ++n) {
    const Bytes cut(movie.begin(), movie.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(parseMovie(cut).has_value()) << n;
  }
  EXPECT_FALSE(readPlayerMovie(write("half", Bytes(movie.begin(), movie.begin() + 300))));
}

TEST_F(MovieFiles, RefusesCorruptData) {
  const Bytes movie = ourMovie();
  Bytes flipped = movie;
  flipped[movie.size() / 2] ^= 0x5a;
  EXPECT_FALSE(readPlayerMovie(write("flipped", flipped)).has_value());

  Bytes checksum = movie;
  checksum.back() ^= 0x01;  // Adler-32 at the end of the zlib stream
  EXPECT_FALSE(parseMovie(checksum).has_value());

  Bytes longer = movie;
  putLength(longer, static_cast<std::uint32_t>(inflateBody(movie).size() + 9));
  EXPECT_FALSE(parseMovie(longer).has_value());
  Bytes shorter = movie;
  putLength(shorter, static_cast<std::uint32_t>(inflateBody(movie).size() + 7));
  EXPECT_FALSE(parseMovie(shorter).has_value());

  Bytes trailing = movie;
  trailing.push_back(0);
  EXPECT_FALSE(parseMovie(trailing).has_value());

  // An absurd stated length is refused before anything is allocated.
  Bytes huge = movie;
  putLength(huge, 0xffffffffu);
  EXPECT_FALSE(parseMovie(huge).has_value());
}

TEST_F(MovieFiles, RefusesWrongSignatureAndVersion) {
  const Bytes body = inflateBody(ourMovie());
  EXPECT_FALSE(parseMovie(makeFile("ZWS", 7, body, true)).has_value());
  EXPECT_FALSE(parseMovie(makeFile("cws", 7, body, true)).has_value());
  EXPECT_FALSE(parseMovie(makeFile("CWS", 6, body, true)).has_value());
  EXPECT_FALSE(parseMovie(makeFile("CWS", 11, body, true)).has_value());
  EXPECT_TRUE(parseMovie(makeFile("CWS", 10, body, true)).has_value());
  // Compressed data labelled plain, and plain data labelled compressed.
  EXPECT_FALSE(parseMovie(makeFile("FWS", 7, body, true)).has_value());
  EXPECT_FALSE(parseMovie(makeFile("CWS", 7, body, false)).has_value());
}

TEST_F(MovieFiles, RefusesBrokenTagStreams) {
  const Bytes body = inflateBody(ourMovie());
  ASSERT_GE(body.size(), 2u);
  ASSERT_EQ(body[body.size() - 2], 0);  // the End tag
  ASSERT_EQ(body[body.size() - 1], 0);

  const Bytes noEnd(body.begin(), body.end() - 2);
  EXPECT_FALSE(parseMovie(makeFile("CWS", 7, noEnd, true)).has_value());

  Bytes afterEnd = body;
  afterEnd.insert(afterEnd.end(), {0x40, 0x00});
  EXPECT_FALSE(parseMovie(makeFile("CWS", 7, afterEnd, true)).has_value());

  // A tag that claims more bytes than remain.
  Bytes overrun = noEnd;
  overrun.insert(overrun.end(), {0x7f, 0x00, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00});
  EXPECT_FALSE(parseMovie(makeFile("CWS", 7, overrun, true)).has_value());

  // An empty stage.
  Bytes flatStage = foreignBody();
  flatStage[2] = 0x00;
  flatStage[3] = 0x00;  // xMax = 0
  EXPECT_FALSE(parseMovie(makeFile("FWS", 7, flatStage, false)).has_value());
}

TEST_F(MovieFiles, RefusesForeignMovies) {
  // Well formed, but not our player: no part names.
  const Bytes foreign = makeFile("CWS", 7, foreignBody(), true);
  const auto info = parseMovie(foreign);
  ASSERT_TRUE(info.has_value());
  EXPECT_FALSE(isPlayerMovie(*info));
  EXPECT_FALSE(readPlayerMovie(write("foreign.swf", foreign)).has_value());

  // One part renamed is enough to refuse.
  Bytes body = inflateBody(ourMovie());
  const QByteArray raw(reinterpret_cast<const char*>(body.data()), qsizetype(body.size()));
  const qsizetype at = raw.indexOf(QByteArray("mc_mensaje", 11));
  ASSERT_GE(at, 0);
  body[static_cast<std::size_t>(at) + 3] = 'X';
  const auto renamed = parseMovie(makeFile("CWS", 7, body, true));
  ASSERT_TRUE(renamed.has_value());
  EXPECT_FALSE(isPlayerMovie(*renamed));

  // Other kinds of files.
  EXPECT_FALSE(readPlayerMovie(write("text", Bytes{'h', 'e', 'l', 'l', 'o', '\n'})));
  const Bytes flvHead = {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0};
  EXPECT_FALSE(readPlayerMovie(write("video.flv", flvHead)));
}

TEST(MovieFileFuzz, MutatedMoviesNeverCrash) {
  const Bytes movie = ourMovie();
  const Bytes body = inflateBody(movie);
  std::mt19937 random(12345);
  int accepted = 0;
  for (int round = 0; round < 800; ++round) {
    // Mutate the inflated body and compress again, so the tag parser (not
    // just zlib) meets the damage.
    Bytes damaged = body;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
    }
    if (parseMovie(makeFile("CWS", 7, damaged, true)).has_value()) ++accepted;
  }
  // Some damage (inside shapes, colours) still leaves a well-formed file.
  EXPECT_LT(accepted, 800);
}

TEST(PlayerMovie, EmbeddedResourceHoldsTheGeneratedFileByteForByte) {
  QFile resource(QStringLiteral(":/quillet/resource/101"));
  ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
  const QByteArray embedded = resource.readAll();
  const Bytes generated = ourMovie();
  ASSERT_FALSE(generated.empty());
  EXPECT_EQ(embedded, QByteArray(reinterpret_cast<const char*>(generated.data()),
                                 static_cast<qsizetype>(generated.size())));
}
