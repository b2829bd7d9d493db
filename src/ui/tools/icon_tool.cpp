// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the application icon: its scalable source (SVG) and the 16 to 256
// pixel images, all from the one description below, so that they never drift
// apart. Run it after changing the picture and keep the outputs with the
// sources:
//   sonavela_icon_tool <directory>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QTextStream>
#include <cstdio>
#include <vector>

namespace {

// Coordinates on a 16 x 16 grid, so that every edge of the 16 pixel image
// falls on a pixel boundary and the 32 pixel image is the same picture doubled.
constexpr double kGrid = 16.0;

struct Shape {
  enum Kind { kRoundedRect, kEllipse } kind;
  double x, y, width, height, radius;
  const char* fill;
  const char* stroke;  // nullptr: none
  double strokeWidth;
};

// A blue tile with a four-line staff and a gold three-note chord on one stem.
const std::vector<Shape>& Picture() {
  static const std::vector<Shape> shapes{
      {Shape::kRoundedRect, 0.5, 0.5, 15, 15, 3, "#2456a4", "#10305e", 1},
      {Shape::kRoundedRect, 2, 4, 12, 1, 0, "#bcd2f5", nullptr, 0},
      {Shape::kRoundedRect, 2, 7, 12, 1, 0, "#bcd2f5", nullptr, 0},
      {Shape::kRoundedRect, 2, 10, 12, 1, 0, "#bcd2f5", nullptr, 0},
      {Shape::kRoundedRect, 2, 13, 12, 1, 0, "#bcd2f5", nullptr, 0},
      {Shape::kRoundedRect, 9, 1.5, 1, 10, 0, "#ffd24a", nullptr, 0},
      {Shape::kEllipse, 4.5, 9.25, 5.5, 2.5, 0, "#ffd24a", nullptr, 0},
      {Shape::kEllipse, 4.5, 6.25, 5.5, 2.5, 0, "#ffd24a", nullptr, 0},
      {Shape::kEllipse, 4.5, 3.25, 5.5, 2.5, 0, "#ffd24a", nullptr, 0},
  };
  return shapes;
}

QImage Render(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / kGrid, size / kGrid);
  for (const Shape& shape : Picture()) {
    painter.setBrush(QColor(QString::fromLatin1(shape.fill)));
    if (shape.stroke != nullptr) {
      painter.setPen(QPen(QColor(QString::fromLatin1(shape.stroke)), shape.strokeWidth));
    } else {
      painter.setPen(Qt::NoPen);
    }
    const QRectF rect(shape.x, shape.y, shape.width, shape.height);
    if (shape.kind == Shape::kEllipse) {
      painter.drawEllipse(rect);
    } else {
      painter.drawRoundedRect(rect, shape.radius, shape.radius);
    }
  }
  return image;
}

QString Svg() {
  QString text;
  QTextStream out(&text);
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
         "viewBox=\"0 0 16 16\">\n";
  for (const Shape& shape : Picture()) {
    const QString paint =
        shape.stroke != nullptr
            ? QStringLiteral(" fill=\"%1\" stroke=\"%2\" stroke-width=\"%3\"")
                  .arg(QString::fromLatin1(shape.fill), QString::fromLatin1(shape.stroke))
                  .arg(shape.strokeWidth)
            : QStringLiteral(" fill=\"%1\"").arg(QString::fromLatin1(shape.fill));
    if (shape.kind == Shape::kEllipse) {
      out << "  <ellipse cx=\"" << shape.x + shape.width / 2 << "\" cy=\""
          << shape.y + shape.height / 2 << "\" rx=\"" << shape.width / 2 << "\" ry=\""
          << shape.height / 2 << "\"" << paint << "/>\n";
    } else {
      out << "  <rect x=\"" << shape.x << "\" y=\"" << shape.y << "\" width=\"" << shape.width
          << "\" height=\"" << shape.height << "\"";
      if (shape.radius > 0) {
        out << " rx=\"" << shape.radius << "\"";
      }
      out << paint << "/>\n";
    }
  }
  out << "</svg>\n";
  return text;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  for (const int size : {16, 32, 48, 64, 128, 256}) {
    const QString path = QStringLiteral("%1/sonavela-%2.png").arg(dir).arg(size);
    if (!Render(size).save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  QFile svg(dir + QStringLiteral("/sonavela.svg"));
  if (!svg.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
    return 1;
  }
  svg.write(Svg().toUtf8());
  return 0;
}
