// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QIcon>
#include <vector>

namespace sonavela::ui {

// "Sonavelaのﾊﾞｰｼﾞｮﾝ情報": the program's icon, its name and version, and OK.
// OK and Escape close it.
class AboutDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(const QIcon& icon, QWidget* parent = nullptr);

  [[nodiscard]] const std::vector<QWidget*>& Controls() const { return controls_; }

 private:
  std::vector<QWidget*> controls_;
};

}  // namespace sonavela::ui
