// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStyledItemDelegate>

namespace sonavela::ui {

// A list's selection as list boxes show which of them has the keyboard
// focus: in the highlight colour while the list has it, in a quiet grey while
// it does not. Without it, four lists in one active window look the same
// whichever has the focus.
class FocusShowingDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace sonavela::ui
