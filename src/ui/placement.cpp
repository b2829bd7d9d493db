// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/placement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <optional>

namespace sonavela::ui {

namespace {

constexpr int kGap = 8;

// Where a window of `frame` fits beside `beside` within `area`, if anywhere.
std::optional<QPoint> RoomBeside(const QRect& area, const QRect& beside, QSize frame) {
  const int top =
      std::clamp(beside.top(), area.top(), std::max(area.top(), area.bottom() - frame.height()));
  const QPoint candidates[] = {
      {beside.right() + kGap, top},
      {beside.left() - kGap - frame.width(), top},
      {std::clamp(beside.left(), area.left(), std::max(area.left(), area.right() - frame.width())),
       beside.bottom() + kGap},
  };
  for (const QPoint at : candidates) {
    if (area.contains(QRect(at, frame))) {
      return at;
    }
  }
  return std::nullopt;
}

}  // namespace

void PlaceBeside(QWidget& window, const QWidget& owner) {
  const QScreen* screen =
      owner.screen() != nullptr ? owner.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    return;
  }
  const QRect area = screen->availableGeometry();
  const QRect beside = owner.frameGeometry();
  // What the window manager adds around the window, kept as it is.
  const QSize border = window.frameGeometry().size() - window.size();
  QSize frame = window.size().expandedTo(window.sizeHint()) + border;
  if (const auto at = RoomBeside(area, beside, frame)) {
    window.move(*at);
    return;
  }
  // Narrower, where the window can be: into the wider room beside the owner.
  const int room = std::max(area.right() - beside.right(), beside.left() - area.left()) - kGap;
  const int narrowest =
      std::max(window.minimumWidth(), window.minimumSizeHint().width()) + border.width();
  if (room >= narrowest && room < frame.width()) {
    window.resize(room - border.width(), window.height());
    frame.setWidth(room);
    if (const auto at = RoomBeside(area, beside, frame)) {
      window.move(*at);
      return;
    }
  }
  // No room at all: the side with the most of it, on the screen.
  const bool right = area.right() - beside.right() >= beside.left() - area.left();
  const int x = right ? area.right() - frame.width() : area.left();
  const int top =
      std::clamp(beside.top(), area.top(), std::max(area.top(), area.bottom() - frame.height()));
  window.move(std::clamp(x, area.left(), std::max(area.left(), area.right() - frame.width())), top);
}

}  // namespace sonavela::ui
