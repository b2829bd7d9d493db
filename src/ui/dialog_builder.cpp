// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_builder.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ui/dialog_font.h"
#include "ui/rule_list.h"

namespace sonavela::ui {
namespace {

constexpr int kIconPixels = 32;

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* CreateControl(QDialog& dialog, const ControlTemplate& control, const QIcon& icon) {
  const QString text = Utf8(control.text);
  switch (control.kind) {
    case ControlKind::kListBox: {
      auto* list = new QListWidget(&dialog);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setSortingEnabled(false);
      list->setUniformItemSizes(true);
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      list->setVerticalScrollBarPolicy((control.styles & kVScroll) != 0 ? Qt::ScrollBarAsNeeded
                                                                        : Qt::ScrollBarAlwaysOff);
      return list;
    }
    case ControlKind::kStatic: {
      auto* label = new QLabel(text, &dialog);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(&dialog);
      if ((control.styles & kDigitsOnly) != 0) {
        LimitToDigits(*edit);
      }
      return edit;
    }
    case ControlKind::kPushButton: {
      auto* button = new QPushButton(text, &dialog);
      button->setDefault((control.styles & kDefaultButton) != 0);
      return button;
    }
    case ControlKind::kAutoCheckBox:
      return new QCheckBox(text, &dialog);
    case ControlKind::kIcon: {
      auto* label = new QLabel(&dialog);
      label->setPixmap(icon.pixmap(kIconPixels, kIconPixels));
      return label;
    }
  }
  return nullptr;
}

}  // namespace

QString ControlName(const DialogTemplate& dialogTemplate, std::size_t index) {
  const ControlTemplate& control = dialogTemplate.controls[index];
  return control.id == kStaticId ? QStringLiteral("static%1").arg(index)
                                 : QStringLiteral("control%1").arg(control.id);
}

std::vector<QWidget*> BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                                  const QIcon& icon) {
  dialog.setWindowTitle(Utf8(dialogTemplate.title));
  dialog.setFont(DialogFont(dialogTemplate));
  const BaseUnits units = BaseUnitsOf(dialog.font());
  const PixelRect client = ToPixels({0, 0, dialogTemplate.width, dialogTemplate.height}, units);
  dialog.setFixedSize(client.width, client.height);

  std::vector<QWidget*> controls;
  QWidget* previousStop = nullptr;
  for (std::size_t i = 0; i < dialogTemplate.controls.size(); ++i) {
    const ControlTemplate& control = dialogTemplate.controls[i];
    QWidget* widget = CreateControl(dialog, control, icon);
    widget->setObjectName(ControlName(dialogTemplate, i));
    const PixelRect rect = ToPixels(control.rect, units);
    if (control.kind == ControlKind::kIcon) {
      // An icon control takes the size of its icon.
      widget->setGeometry(rect.x, rect.y, kIconPixels, kIconPixels);
    } else {
      widget->setGeometry(rect.x, rect.y, rect.width, rect.height);
    }
    if ((control.styles & kTabStop) == 0) {
      widget->setFocusPolicy(Qt::NoFocus);
    } else {
      widget->setFocusPolicy(Qt::StrongFocus);
      if (previousStop != nullptr) {
        QWidget::setTabOrder(previousStop, widget);
      }
      previousStop = widget;
    }
    controls.push_back(widget);
  }
  return controls;
}

}  // namespace sonavela::ui
