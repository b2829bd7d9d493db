// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDoubleSpinBox>
#include <QSpinBox>

#include "playback/settings.h"

namespace sonavela::ui {

[[nodiscard]] QSpinBox* NewSpinBox(QWidget* parent, int low, int high, int value);
// A box for a whole-number setting, over the setting's range.
[[nodiscard]] QSpinBox* NewSpinBox(QWidget* parent, const playback::SettingSpec& spec, int value);
// A box for a setting with decimals, over its range; the value is for the
// caller to set.
[[nodiscard]] QDoubleSpinBox* NewDecimalBox(QWidget* parent, const playback::SettingSpec& spec);

}  // namespace sonavela::ui
