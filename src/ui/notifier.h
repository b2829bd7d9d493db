// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QString>
#include <optional>

class QWidget;

namespace sonavela::ui {

// One message for the user, as a message box shows it.
struct Notice {
  QString caption;
  QString text;
  QString detail;  // extra explanation below the text; may be empty
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

enum class FileAction { kOpen, kSave };

// A question for the name of a file to open or to save.
struct FilePrompt {
  FileAction action = FileAction::kOpen;
  QString caption;
  QString filter;         // "MIDI (*.mid *.midi)"; several separated by ";;"
  QString defaultSuffix;  // added to a saved name typed without one, e.g. "mid"
};

// Where the dialog's messages and questions go. The program shows modal
// message boxes and file dialogs; tests record the notices and answer the
// questions themselves, so that nothing waits for a click.
class Notifier {
 public:
  virtual ~Notifier() = default;
  // Returns when the user has acknowledged the notice.
  virtual void Show(QWidget* parent, const Notice& notice) = 0;
  // The chosen file, or std::nullopt when the user cancelled.
  [[nodiscard]] virtual std::optional<QString> AskFileName(QWidget* parent,
                                                           const FilePrompt& prompt) = 0;
  // True when the user answers yes to the notice as a question; no is the default.
  [[nodiscard]] virtual bool Confirm(QWidget* parent, const Notice& question) = 0;
};

// A modal box with an OK button, and the toolkit's file dialog.
class MessageBoxNotifier final : public Notifier {
 public:
  void Show(QWidget* parent, const Notice& notice) override;
  [[nodiscard]] std::optional<QString> AskFileName(QWidget* parent,
                                                   const FilePrompt& prompt) override;
  [[nodiscard]] bool Confirm(QWidget* parent, const Notice& question) override;

 private:
  // The next file dialog opens where the user last went.
  QString directory_;
};

// The name of the program file without its extension, the caption of the
// program's message boxes.
[[nodiscard]] QString ProgramName();

}  // namespace sonavela::ui
