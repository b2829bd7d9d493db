// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/explanation_window.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "harmony/names.h"
#include "ui/key_map.h"

namespace sonavela::ui {

namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QString KeyText(harmony::Key key) {
  return Text(harmony::KeyName(key));
}

QString Legend() {
  return QCoreApplication::translate(
             "Sonavela",
             "<span style='color:%1'>◎</span> 主調　<span style='color:%2'>●</span> 今の調　"
             "<span style='color:%3'>→</span> 主調を離れてからの道筋")
      .arg(KeyMap::kHomeRing.name(), KeyMap::kCurrentFill.name(), KeyMap::kPathLine.name());
}

QString DistanceWords(const generator::StepExplanation& explanation) {
  const QString home = KeyText(explanation.home);
  if (explanation.stepsAway == 0) {
    return QCoreApplication::translate("Sonavela", "主調 %1 にいます").arg(home);
  }
  // %n, so that the English says "1 step" and "2 steps".
  return QCoreApplication::translate("Sonavela",
                                     "主調 %1 から %n 歩 (離れられるのはあと %2 歩まで)", nullptr,
                                     explanation.stepsAway)
      .arg(home)
      .arg(explanation.stepsLeft);
}

}  // namespace

QString PivotWords(const generator::Pivot& pivot) {
  return QCoreApplication::translate("Sonavela", "%1 を %2 の %3 から %4 の %5 と読み替え")
      .arg(Text(harmony::ChordName(pivot.chord)), KeyText(pivot.from),
           Text(harmony::RomanNumeral(pivot.from, pivot.chord)), KeyText(pivot.to),
           Text(harmony::RomanNumeral(pivot.to, pivot.chord)));
}

ExplanationWindow::ExplanationWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool),
      key_(new QLabel(this)),
      chord_(new QLabel(this)),
      pivot_(new QLabel(this)),
      distance_(new QLabel(this)),
      map_(new KeyMap(this)) {
  if (parent != nullptr) {
    setFont(parent->font());
  }
  rows_ = new QFormLayout;
  for (QLabel* field : {key_, chord_, pivot_, distance_}) {
    rows_->addRow(new QLabel(this), field);
  }
  pivot_->setWordWrap(true);
  legend_ = new QLabel(this);
  legend_->setTextFormat(Qt::RichText);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(rows_);
  layout->addWidget(map_, 1);
  layout->addWidget(legend_);
  Retranslate();
}

void ExplanationWindow::keyPressEvent(QKeyEvent* event) {
  // As a dialog does: a tool window has no close box on every desktop.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void ExplanationWindow::Retranslate() {
  setWindowTitle(QCoreApplication::translate("Sonavela", "解説"));
  const std::pair<QLabel*, QString> rows[] = {
      {key_, QCoreApplication::translate("Sonavela", "調:")},
      {chord_, QCoreApplication::translate("Sonavela", "和音:")},
      {pivot_, QCoreApplication::translate("Sonavela", "転調:")},
      {distance_, QCoreApplication::translate("Sonavela", "主調から:")},
  };
  for (const auto& [field, text] : rows) {
    if (auto* label = qobject_cast<QLabel*>(rows_->labelForField(field)); label != nullptr) {
      label->setText(text);
    }
  }
  legend_->setText(Legend());
}

void ExplanationWindow::Show(const generator::Excursion& excursion) {
  const std::optional<generator::StepExplanation>& latest = excursion.Latest();
  if (!latest) {
    key_->setText(KeyText(excursion.Home()));
    chord_->setText(
        QCoreApplication::translate("Sonavela", "開始すると、和音の働きがここに出ます"));
    pivot_->setText(QCoreApplication::translate("Sonavela", "まだありません"));
    distance_->setText(
        QCoreApplication::translate("Sonavela", "主調 %1 にいます").arg(KeyText(excursion.Home())));
    map_->Show(excursion.Home(), std::nullopt, excursion.Keys(), QString());
    return;
  }
  const generator::ProgressionStep& step = latest->step;
  const harmony::Key key = step.key.tonic.letter == ' ' ? latest->home : step.key;
  const QString chord = Text(harmony::ChordName(step.chord));
  const QString numeral = Text(latest->numeral);
  key_->setText(KeyText(key));
  chord_->setText(QStringLiteral("%1 (%2)").arg(chord, numeral));
  if (latest->repeated) {
    pivot_->setText(QCoreApplication::translate(
        "Sonavela", "続く規則がないので、停止までこの和音を繰り返します"));
  } else if (excursion.LastPivot()) {
    pivot_->setText(PivotWords(*excursion.LastPivot()));
  } else {
    pivot_->setText(QCoreApplication::translate("Sonavela", "まだありません"));
  }
  distance_->setText(DistanceWords(*latest));
  map_->Show(excursion.Home(), key, excursion.Keys(), chord + QLatin1Char('\n') + numeral);
}

QStringList ExplanationWindow::Texts() const {
  return {key_->text(), chord_->text(), pivot_->text(), distance_->text()};
}

}  // namespace sonavela::ui
