// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/list_focus.h"

#include <QWidget>

namespace sonavela::ui {

void FocusShowingDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  const QWidget* view = option.widget;
  if (view == nullptr || view->hasFocus()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem quiet = option;
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    quiet.palette.setColor(group, QPalette::Highlight, option.palette.color(QPalette::Midlight));
    quiet.palette.setColor(group, QPalette::HighlightedText, option.palette.color(QPalette::Text));
  }
  QStyledItemDelegate::paint(painter, quiet, index);
}

}  // namespace sonavela::ui
