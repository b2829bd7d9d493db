// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include "generator/explanation.h"

class QFormLayout;
class QKeyEvent;
class QLabel;

namespace sonavela::ui {

class KeyMap;

// "解説": what the chord just played means and where the progression is
// going, beside the dialog, following it chord by chord: the key, the chord
// with its numeral, the last pivot in words, the distance from home, and the
// key map.
class ExplanationWindow final : public QWidget {
 public:
  explicit ExplanationWindow(QWidget* parent);

  // Shows the excursion's latest step, or the home key alone before the
  // first one.
  void Show(const generator::Excursion& excursion);

  // The fixed texts again, after the language changed.
  void Retranslate();

  // The rows' texts (調, 和音, 転調, 主調から) and the map, for inspection.
  [[nodiscard]] QStringList Texts() const;
  [[nodiscard]] KeyMap& Map() const { return *map_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* key_;
  QLabel* chord_;
  QLabel* pivot_;
  QLabel* distance_;
  KeyMap* map_;
  QLabel* legend_ = nullptr;
  QFormLayout* rows_ = nullptr;
};

// The pivot in the dialog's words: "Dm を C の ii から Am の iv と読み替え".
[[nodiscard]] QString PivotWords(const generator::Pivot& pivot);

}  // namespace sonavela::ui
