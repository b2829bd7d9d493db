// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/adapters.h"

namespace sonavela::cli {

void LinePrinter::Print(const std::string& line) {
  ++printed_;
  // A reader that went away is the user's way of saying "enough", as in
  // `sonavela-cli | head -3`.
  const std::string text = annotation_ ? line + '\t' + annotation_() + '\n' : line + '\n';
  if (!out_.Write(text)) {
    stop_.Request();
  }
}

}  // namespace sonavela::cli
