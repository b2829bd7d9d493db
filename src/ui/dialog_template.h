// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace sonavela::ui {

// A rectangle in dialog units: x and y of the top-left corner, width, height.
struct DluRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  friend constexpr bool operator==(DluRect, DluRect) = default;
};

enum class ControlKind { kListBox, kStatic, kEdit, kPushButton, kAutoCheckBox, kIcon };

// Window styles of a control beyond "child, visible", as flags.
enum ControlStyle : std::uint32_t {
  kNoStyle = 0,
  kNotify = 1U << 0,
  kNoIntegralHeight = 1U << 1,
  kVScroll = 1U << 2,
  kBorder = 1U << 3,
  kTabStop = 1U << 4,
  kGroup = 1U << 5,
  kDigitsOnly = 1U << 6,
  kLeftAligned = 1U << 7,
  kNoPrefix = 1U << 8,
  kDefaultButton = 1U << 9,
};

inline constexpr int kStaticId = -1;  // labels that nothing refers to

struct ControlTemplate {
  int id = kStaticId;
  ControlKind kind = ControlKind::kStatic;
  std::string_view text;  // UTF-8
  DluRect rect;
  std::uint32_t styles = kNoStyle;
};

struct DialogTemplate {
  int id = 0;
  std::string_view title;  // UTF-8
  int width = 0;           // client area, dialog units
  int height = 0;
  std::string_view fontFace;  // UTF-8, as the dialog asks for it
  int fontPoints = 0;
  std::span<const ControlTemplate> controls;
};

// Control ids of the main dialog.
enum MainControlId : int {
  kIdStart = 1002,
  kIdStop = 1003,
  kIdConnDelete = 1004,
  kIdResultList = 1005,
  kIdDeviceList = 1006,
  kIdConnList = 1007,
  kIdConnWeight = 1008,
  kIdConnText = 1009,
  kIdSubstDelete = 1010,
  kIdConnUpdate = 1011,
  kIdSubstUpdate = 1012,
  kIdMinorCheck = 1013,
  kIdSubstList = 1026,
  kIdSubstWeight = 1027,
  kIdSubstText = 1028,
  kIdInstrument = 1029,
};

inline constexpr int kIdOk = 1;

[[nodiscard]] const DialogTemplate& MainDialogTemplate();   // resource 102
[[nodiscard]] const DialogTemplate& AboutDialogTemplate();  // resource 100

// The template entry of a control id; nullptr when the dialog has none.
[[nodiscard]] const ControlTemplate* FindControl(const DialogTemplate& dialog, int id);

// Dialog base units: how many pixels four horizontal and eight vertical
// dialog units span, taken from the dialog font.
struct BaseUnits {
  int x = 0;
  int y = 0;

  friend constexpr bool operator==(BaseUnits, BaseUnits) = default;
};

// The rounding that the dialog manager applies: a * b / c to the nearest
// integer.
[[nodiscard]] constexpr int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

// Average character width as the dialog manager derives it from the width of
// the 52 Latin letters: ((width / 26) + 1) / 2.
[[nodiscard]] constexpr int AverageCharWidth(int widthOf52Letters) {
  return (widthOf52Letters / 26 + 1) / 2;
}

inline constexpr std::string_view kLatinLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  friend constexpr bool operator==(PixelRect, PixelRect) = default;
};

[[nodiscard]] constexpr PixelRect ToPixels(DluRect rect, BaseUnits units) {
  return {MulDiv(rect.x, units.x, 4), MulDiv(rect.y, units.y, 8), MulDiv(rect.width, units.x, 4),
          MulDiv(rect.height, units.y, 8)};
}

}  // namespace sonavela::ui
