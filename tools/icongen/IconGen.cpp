// Draws the program icon: a one-pixel dark blue frame around a blue field
// that carries the letters F, L and V in pale cyan, a little below the
// middle. Written as PNG files, one per size named on the command line, and
// as SVG for the size "scalable":
//   quillet_icongen <output folder> 32 48 64 ... scalable
// The letters are drawn from rectangles and polygons laid out on the 32-pixel
// grid and scaled, so every size shows the same picture.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QRectF>
#include <QSaveFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const QColor kFrame(51, 51, 102);
const QColor kField(0, 51, 153);
const QColor kLetters(222, 255, 255);

// Letter cells on the 32-pixel grid: 9 rows high from row 13 (the middle of
// the field is 15.5, so the letters' centre at 17.5 sits a little below it).
constexpr double kTop = 13, kBottom = 22;

// F: stem, top bar, middle bar; L: stem and foot.
const QRectF kBars[] = {QRectF(5, kTop, 2, 9), QRectF(5, kTop, 6, 2), QRectF(5, kTop + 4, 5, 2),
                        QRectF(12, kTop, 2, 9), QRectF(12, kBottom - 2, 6, 2)};

// V: two strokes meeting at the bottom.
QPolygonF vShape() {
  return QPolygonF({QPointF(19, kTop), QPointF(21, kTop), QPointF(23, kBottom - 3),
                    QPointF(25, kTop), QPointF(27, kTop), QPointF(24, kBottom),
                    QPointF(22, kBottom)});
}

void drawLetters(QPainter& p, bool pixelExact) {
  p.setPen(Qt::NoPen);
  p.setBrush(kLetters);
  for (const QRectF& bar : kBars) p.drawRect(bar);
  // Stepped at the design size, so every pixel is either field or letter.
  if (pixelExact) {
    for (QRectF r : {QRectF(19, kTop, 2, 3), QRectF(20, kTop + 3, 2, 3), QRectF(21, kTop + 6, 2, 2),
                     QRectF(25, kTop, 2, 3), QRectF(24, kTop + 3, 2, 3), QRectF(23, kTop + 6, 2, 2),
                     QRectF(22, kTop + 8, 2, 1)})
      p.drawRect(r);
  } else {
    p.drawPolygon(vShape());
  }
}

// The same picture as the enlarged sizes, on the 32-unit grid.
QByteArray drawScalableIcon() {
  const auto rect = [](const QRectF& r, const QColor& fill) {
    return QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .arg(fill.name());
  };
  QString svg = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" "
      "viewBox=\"0 0 32 32\">\n");
  svg += rect(QRectF(0, 0, 32, 32), kFrame);
  svg += rect(QRectF(1, 1, 30, 30), kField);
  for (const QRectF& bar : kBars) svg += rect(bar, kLetters);
  QString points;
  for (const QPointF& point : vShape())
    points +=
        QStringLiteral("%1%2,%3").arg(points.isEmpty() ? "" : " ").arg(point.x()).arg(point.y());
  svg += QStringLiteral("  <polygon points=\"%1\" fill=\"%2\"/>\n").arg(points, kLetters.name());
  svg += QStringLiteral("</svg>\n");
  return svg.toUtf8();
}

QImage drawIcon(int size) {
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(kFrame);
  QPainter p(&image);
  // The frame stays one pixel wide at 32 and grows with the picture.
  const double scale = size / 32.0;
  const int frame = std::max(1, static_cast<int>(scale + 0.5));
  p.fillRect(frame, frame, size - 2 * frame, size - 2 * frame, kField);
  // Crisp pixels at the design size, smooth edges when enlarged.
  p.setRenderHint(QPainter::Antialiasing, size != 32);
  p.scale(scale, scale);
  drawLetters(p, size == 32);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <output folder> <size>|scalable...\n", argv[0]);
    return 2;
  }
  QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(".")) return 1;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "scalable") == 0) {
      QSaveFile file(out.filePath(QStringLiteral("quillet.svg")));
      if (!file.open(QIODevice::WriteOnly) || file.write(drawScalableIcon()) < 0 ||
          !file.commit()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        return 1;
      }
      continue;
    }
    const int size = std::atoi(argv[i]);
    if (size < 16 || size > 1024) {
      std::fprintf(stderr, "bad size: %s\n", argv[i]);
      return 2;
    }
    const QString file = out.filePath(QStringLiteral("quillet-%1.png").arg(size));
    if (!drawIcon(size).save(file, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
