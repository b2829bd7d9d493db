// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_template.h"

#include <QtGlobal>
#include <algorithm>
#include <array>

namespace sonavela::ui {
namespace {

constexpr std::uint32_t kListBoxStyles =
    kNotify | kNoIntegralHeight | kVScroll | kBorder | kTabStop;
constexpr std::uint32_t kLabelStyles = kLeftAligned | kGroup;
constexpr std::uint32_t kEditStyles = kBorder | kTabStop;

using enum ControlKind;

// Template order is also the tab order.
constexpr std::array<ControlTemplate, 29> kMainControls{{
    {kIdDeviceList, kListBox, "", {5, 10, 190, 35}, kListBoxStyles},
    {kStaticId,
     kStatic,
     QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩデータ出力先"),
     {5, 0, 75, 8},
     kLabelStyles},
    {kIdConnList, kListBox, "", {5, 70, 100, 95}, kListBoxStyles},
    {kIdConnWeight, kEdit, "", {5, 165, 20, 14}, kEditStyles | kDigitsOnly},
    {kIdConnText, kEdit, "", {40, 165, 65, 14}, kEditStyles},
    {kStaticId,
     kStatic,
     QT_TRANSLATE_NOOP("Sonavela", "コード連結規則表"),
     {25, 50, 60, 8},
     kLabelStyles},
    {kStaticId, kStatic, QT_TRANSLATE_NOOP("Sonavela", "重み"), {10, 60, 16, 8}, kLabelStyles},
    {kStaticId,
     kStatic,
     QT_TRANSLATE_NOOP("Sonavela", "旋法,度数連結,補正"),
     {32, 60, 68, 8},
     kLabelStyles},
    {kIdConnUpdate,
     kPushButton,
     QT_TRANSLATE_NOOP("Sonavela", "更新／追加"),
     {10, 185, 40, 15},
     kTabStop},
    {kIdConnDelete,
     kPushButton,
     QT_TRANSLATE_NOOP("Sonavela", "削除"),
     {60, 185, 40, 15},
     kTabStop},
    {kIdSubstList, kListBox, "", {115, 70, 80, 95}, kListBoxStyles},
    {kIdSubstWeight, kEdit, "", {115, 165, 20, 14}, kEditStyles | kDigitsOnly},
    {kIdSubstText, kEdit, "", {150, 165, 45, 14}, kEditStyles},
    {kIdSubstUpdate,
     kPushButton,
     QT_TRANSLATE_NOOP("Sonavela", "更新／追加"),
     {115, 185, 40, 15},
     kTabStop},
    {kIdSubstDelete,
     kPushButton,
     QT_TRANSLATE_NOOP("Sonavela", "削除"),
     {155, 185, 40, 15},
     kTabStop},
    {kStaticId,
     kStatic,
     QT_TRANSLATE_NOOP("Sonavela", "コード読替え規則表"),
     {120, 50, 68, 8},
     kLabelStyles},
    {kStaticId, kStatic, QT_TRANSLATE_NOOP("Sonavela", "重み"), {120, 60, 16, 8}, kLabelStyles},
    {kStaticId,
     kStatic,
     QT_TRANSLATE_NOOP("Sonavela", "旋法,度数読替え"),
     {142, 60, 57, 8},
     kLabelStyles},
    {kIdResultList, kListBox, "", {210, 70, 75, 110}, kListBoxStyles},
    {kIdStart,
     kPushButton,
     QT_TRANSLATE_NOOP("Sonavela", "開始"),
     {210, 185, 35, 15},
     kTabStop | kDefaultButton},
    {kIdStop, kPushButton, QT_TRANSLATE_NOOP("Sonavela", "停止"), {250, 185, 35, 15}, kTabStop},
    {kStaticId, kStatic, QT_TRANSLATE_NOOP("Sonavela", "生成結果"), {230, 50, 31, 8}, kLabelStyles},
    {kStaticId, kStatic, QT_TRANSLATE_NOOP("Sonavela", "調"), {210, 60, 8, 8}, kLabelStyles},
    {kStaticId, kStatic, QT_TRANSLATE_NOOP("Sonavela", "コード"), {235, 60, 23, 8}, kLabelStyles},
    {kStaticId,
     kStatic,
     QT_TRANSLATE_NOOP("Sonavela", "旋法指定法） 長調:｢ ｣, 短調:｢m｣, 両方:｢?｣"),
     {5, 210, 158, 8},
     kLabelStyles},
    {kStaticId,
     kStatic,
     QT_TRANSLATE_NOOP("Sonavela",
                       "補正指定法） ﾒｼﾞｬｰｺｰﾄﾞ化:｢M｣, ﾏｲﾅｰｺｰﾄﾞ化:｢m｣, ﾅﾎﾟﾘのⅡ化:｢n｣, 補正なし:｢｣"),
     {5, 220, 284, 8},
     kLabelStyles},
    {kIdMinorCheck,
     kAutoCheckBox,
     QT_TRANSLATE_NOOP("Sonavela", "短調"),
     {235, 30, 25, 10},
     kTabStop},
    {kIdInstrument, kEdit, "", {255, 10, 20, 14}, kEditStyles | kDigitsOnly},
    {kStaticId, kStatic, QT_TRANSLATE_NOOP("Sonavela", "楽器番号"), {220, 13, 31, 8}, kLabelStyles},
}};

constexpr std::array<ControlTemplate, 3> kAboutControls{{
    {kStaticId, kIcon, "", {11, 17, 20, 20}, kNoStyle},
    {kStaticId,
     kStatic,
     "Sonavela Version 1.0",
     {40, 10, 119, 8},
     kLeftAligned | kNoPrefix | kGroup},
    {kIdOk, kPushButton, "OK", {178, 7, 50, 14}, kDefaultButton | kGroup | kTabStop},
}};

constexpr DialogTemplate kMainDialog{
    102,          QT_TRANSLATE_NOOP("Sonavela", "コード進行自動生成"), 291, 231, "ＭＳ 明朝", 10,
    kMainControls};

constexpr DialogTemplate kAboutDialog{100,
                                      QT_TRANSLATE_NOOP("Sonavela", "Sonavelaのﾊﾞｰｼﾞｮﾝ情報"),
                                      235,
                                      55,
                                      "ＭＳ Ｐゴシック",
                                      9,
                                      kAboutControls};

}  // namespace

const DialogTemplate& MainDialogTemplate() {
  return kMainDialog;
}

const DialogTemplate& AboutDialogTemplate() {
  return kAboutDialog;
}

const ControlTemplate* FindControl(const DialogTemplate& dialog, int id) {
  const auto it = std::ranges::find(dialog.controls, id, &ControlTemplate::id);
  return it == dialog.controls.end() ? nullptr : &*it;
}

}  // namespace sonavela::ui
