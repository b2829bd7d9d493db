// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_builder.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <algorithm>

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ui/dialog_font.h"
#include "ui/list_focus.h"
#include "ui/rule_list.h"

namespace sonavela::ui {
namespace {

constexpr int kIconPixels = 32;

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A translation may be longer than the Japanese the template was laid out
// for: a label or check box then grows to its text, within the dialog. The
// Japanese keeps the template's sizes exactly.
void FitText(const QDialog& dialog, QWidget& widget, const ControlTemplate& control,
             const PixelRect& rect) {
  int width = rect.width;
  const bool grows =
      control.kind == ControlKind::kStatic || control.kind == ControlKind::kAutoCheckBox;
  if (grows && Translated(control.text) != Utf8(control.text)) {
    width = std::clamp(widget.sizeHint().width(), rect.width,
                       std::max(rect.width, dialog.width() - rect.x));
  }
  widget.resize(width, rect.height);
}

QWidget* CreateControl(QDialog& dialog, const ControlTemplate& control, const QIcon& icon) {
  const QString text = Translated(control.text);
  switch (control.kind) {
    case ControlKind::kListBox: {
      auto* list = new QListWidget(&dialog);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setSortingEnabled(false);
      list->setUniformItemSizes(true);
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      list->setVerticalScrollBarPolicy((control.styles & kVScroll) != 0 ? Qt::ScrollBarAsNeeded
                                                                        : Qt::ScrollBarAlwaysOff);
      list->setItemDelegate(new FocusShowingDelegate(list));
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

QString Translated(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  return QCoreApplication::translate("Sonavela", std::string(text).c_str());
}

void RetranslateDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                       const std::vector<QWidget*>& controls) {
  dialog.setWindowTitle(Translated(dialogTemplate.title));
  const BaseUnits units = BaseUnitsOf(dialog.font());
  for (std::size_t i = 0; i < controls.size() && i < dialogTemplate.controls.size(); ++i) {
    const ControlTemplate& control = dialogTemplate.controls[i];
    const QString text = Translated(control.text);
    if (auto* label = qobject_cast<QLabel*>(controls[i]); label != nullptr && !text.isEmpty()) {
      label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(controls[i]); button != nullptr) {
      button->setText(text);
    }
    if (control.kind != ControlKind::kIcon) {
      FitText(dialog, *controls[i], control, ToPixels(control.rect, units));
    }
  }
}

QString ControlName(const DialogTemplate& dialogTemplate, std::size_t index) {
  const ControlTemplate& control = dialogTemplate.controls[index];
  return control.id == kStaticId ? QStringLiteral("static%1").arg(index)
                                 : QStringLiteral("control%1").arg(control.id);
}

std::vector<QWidget*> BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                                  const QIcon& icon) {
  dialog.setWindowTitle(Translated(dialogTemplate.title));
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
      FitText(dialog, *widget, control, rect);
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
