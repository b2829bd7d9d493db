// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/setting_boxes.h"

namespace sonavela::ui {

QSpinBox* NewSpinBox(QWidget* parent, int low, int high, int value) {
  auto* box = new QSpinBox(parent);
  box->setRange(low, high);
  box->setValue(value);
  return box;
}

QSpinBox* NewSpinBox(QWidget* parent, const playback::SettingSpec& spec, int value) {
  return NewSpinBox(parent, static_cast<int>(spec.min), static_cast<int>(spec.max), value);
}

QDoubleSpinBox* NewDecimalBox(QWidget* parent, const playback::SettingSpec& spec) {
  auto* box = new QDoubleSpinBox(parent);
  box->setRange(spec.min, spec.max);
  box->setDecimals(spec.decimals);
  return box;
}

}  // namespace sonavela::ui
