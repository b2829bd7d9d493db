// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/placement.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace sonavela::ui {
namespace {

// A window goes beside its owner where there is room, narrower where that
// makes room, and stays on the screen where nothing does.
TEST(PlaceBeside, BesideWhereThereIsRoomAndAlwaysOnTheScreen) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const struct {
    QRect owner;
    QSize window;
    bool beside;
  } cases[] = {
      {{area.left(), area.top(), 200, 200}, {300, 300}, true},           // room to the right
      {{area.right() - 200, area.top(), 200, 200}, {300, 300}, true},    // to the left
      {{area.left(), area.top(), area.width(), 200}, {300, 300}, true},  // below
      {{area.left() + 100, area.top(), area.width() - 200, area.height()}, {300, 300}, false},
  };
  for (const auto& c : cases) {
    QWidget owner;
    owner.setGeometry(c.owner);
    QWidget window;
    window.setMinimumSize(150, 80);
    window.resize(c.window);
    PlaceBeside(window, owner);
    SCOPED_TRACE(c.owner.x());
    EXPECT_TRUE(area.contains(window.frameGeometry()));
    EXPECT_EQ(!window.frameGeometry().intersects(owner.frameGeometry()), c.beside);
  }
  // Too wide for the room beside, but not for its narrowest: made narrower.
  QWidget owner;
  owner.setGeometry(area.left(), area.top(), area.width() - 250, area.height());
  QWidget window;
  window.setMinimumSize(100, 100);
  window.resize(400, 300);
  PlaceBeside(window, owner);
  EXPECT_FALSE(window.frameGeometry().intersects(owner.frameGeometry()));
  EXPECT_LT(window.width(), 250);
}

}  // namespace
}  // namespace sonavela::ui
