// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/key_map.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "generator/candidate_keys.h"
#include "harmony/names.h"

namespace sonavela::ui {

namespace {

// C major at the top, the sharps clockwise, the flats anticlockwise.
constexpr int kTopRow = 6;
constexpr double kOuterRadius = 0.40;  // of the side of the square drawn in
constexpr double kInnerRadius = 0.25;
constexpr double kDiscRadius = 0.052;

QString Name(harmony::Key key) {
  return QString::fromStdString(harmony::KeyName(key));
}

QPointF Unit(QPointF along) {
  const double length = std::hypot(along.x(), along.y());
  return length > 0 ? along / length : QPointF();
}

// An arrow from disc to disc, bowed to its left so that a way back to a key
// is drawn beside the way there, ending at the rim of the second disc.
void DrawStep(QPainter& painter, QPointF from, QPointF to, double disc) {
  const QPointF along = to - from;
  const double length = std::hypot(along.x(), along.y());
  if (length <= 2 * disc) {
    return;
  }
  const QPointF unit = along / length;
  const QPointF left(unit.y(), -unit.x());
  const QPointF bend = (from + to) / 2 + left * (length * 0.18);
  const QPointF start = from + Unit(bend - from) * disc;
  const QPointF arriving = Unit(to - bend);
  const QPointF tip = to - arriving * (disc + 2);
  QPainterPath curve(start);
  curve.quadTo(bend, tip);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(curve);
  const QPointF normal(-arriving.y(), arriving.x());
  const double head = disc * 0.55;
  QPainterPath arrow;
  arrow.moveTo(tip);
  arrow.lineTo(tip - arriving * head + normal * head * 0.5);
  arrow.lineTo(tip - arriving * head - normal * head * 0.5);
  arrow.closeSubpath();
  painter.fillPath(arrow, painter.pen().color());
}

}  // namespace

KeyMap::KeyMap(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void KeyMap::Show(harmony::Key home, std::optional<harmony::Key> current,
                  std::vector<harmony::Key> path, const QString& centre) {
  home_ = home;
  current_ = current;
  path_ = std::move(path);
  centre_ = centre;
  update();
}

double KeyMap::DiscRadius() const {
  return std::min(width(), height()) * kDiscRadius;
}

std::optional<QPointF> KeyMap::KeyCentre(harmony::Key key) const {
  const int index = generator::CandidateKeyIndex(key);
  if (index < 0) {
    return std::nullopt;
  }
  const int row = index / 2;
  const bool minor = index % 2 == 1;
  const double side = std::min(width(), height());
  const double angle = (row - kTopRow) * 2 * std::numbers::pi / generator::kCandidateRows;
  const double radius = side * (minor ? kInnerRadius : kOuterRadius);
  const QPointF middle(width() / 2.0, height() / 2.0);
  return middle + QPointF(radius * std::sin(angle), -radius * std::cos(angle));
}

void KeyMap::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), palette().color(QPalette::Base));
  const double side = std::min(width(), height());
  const double disc = DiscRadius();
  const QPointF middle(width() / 2.0, height() / 2.0);

  painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DotLine));
  painter.setBrush(Qt::NoBrush);
  for (const double ring : {kOuterRadius, kInnerRadius}) {
    painter.drawEllipse(middle, side * ring, side * ring);
  }

  painter.setPen(QPen(kPathLine, std::max(2.0, disc * 0.14), Qt::SolidLine, Qt::RoundCap));
  for (std::size_t i = 1; i < path_.size(); ++i) {
    const std::optional<QPointF> from = KeyCentre(path_[i - 1]);
    const std::optional<QPointF> to = KeyCentre(path_[i]);
    if (from && to) {
      DrawStep(painter, *from, *to, disc);
    }
  }

  QFont font = painter.font();
  font.setPixelSize(std::max(9, static_cast<int>(disc * 0.62)));
  for (const harmony::Key key : generator::CandidateKeys()) {
    const QPointF at = *KeyCentre(key);
    const bool current = current_ && key == *current_;
    const bool onPath = std::find(path_.begin(), path_.end(), key) != path_.end();
    const bool home = key == home_;
    painter.setBrush(current ? kCurrentFill : onPath ? kPathFill : kPlainFill);
    painter.setPen(home ? QPen(kHomeRing, std::max(3.0, disc * 0.2))
                        : QPen(palette().color(QPalette::Mid), 1));
    painter.drawEllipse(at, disc, disc);
    font.setBold(current || home);
    painter.setFont(font);
    painter.setPen(current ? QColor(Qt::white) : palette().color(QPalette::Text));
    painter.drawText(QRectF(at.x() - disc, at.y() - disc, 2 * disc, 2 * disc), Qt::AlignCenter,
                     Name(key));
  }

  QFont big = font;
  big.setBold(true);
  big.setPixelSize(std::max(12, static_cast<int>(side * 0.07)));
  painter.setFont(big);
  painter.setPen(palette().color(QPalette::Text));
  const double inside = side * (kInnerRadius - kDiscRadius) * 1.3;
  painter.drawText(QRectF(middle.x() - inside, middle.y() - inside, 2 * inside, 2 * inside),
                   Qt::AlignCenter, centre_);
}

}  // namespace sonavela::ui
