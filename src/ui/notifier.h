#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace sonavela::ui {

// One message for the user, as a message box shows it.
struct Notice {
  QString caption;
  QString text;
  QString detail;  // extra explanation below the text; may be empty
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Where the dialog's messages go. The program shows modal message boxes;
// tests record the notices instead, so that nothing waits for a click.
class Notifier {
 public:
  virtual ~Notifier() = default;
  // Returns when the user has acknowledged the notice.
  virtual void Show(QWidget* parent, const Notice& notice) = 0;
};

// A modal box with an OK button.
class MessageBoxNotifier final : public Notifier {
 public:
  void Show(QWidget* parent, const Notice& notice) override;
};

// The name of the program file without its extension, the caption of the
// program's message boxes.
[[nodiscard]] QString ProgramName();

}  // namespace sonavela::ui
