// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/placement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace sonavela::ui {

void PlaceBeside(QWidget& window, const QWidget& owner) {
  const QScreen* screen =
      owner.screen() != nullptr ? owner.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    return;
  }
  const QRect area = screen->availableGeometry();
  const QRect beside = owner.frameGeometry();
  // The frame is as large as the window's own, plus what the window manager adds.
  const QSize frame = window.frameGeometry().size().expandedTo(window.sizeHint());
  constexpr int kGap = 8;
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
      window.move(at);
      return;
    }
  }
  // No room beside: the side with the most of it, kept on the screen.
  const bool right = area.right() - beside.right() >= beside.left() - area.left();
  const int x = right ? area.right() - frame.width() : area.left();
  window.move(std::clamp(x, area.left(), std::max(area.left(), area.right() - frame.width())), top);
}

}  // namespace sonavela::ui
