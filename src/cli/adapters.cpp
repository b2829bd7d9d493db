// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/adapters.h"

#include <utility>

namespace sonavela::cli {

void PrintingResultList::Append(const std::string& line) {
  ++count_;
  ++printed_;
  // A reader that went away is the user's way of saying "enough", as in
  // `sonavela-cli | head -3`.
  const std::string text = annotation_ ? line + '\t' + annotation_() + '\n' : line + '\n';
  if (!out_.Write(text)) {
    stop_.Request();
  }
}

OptionInputs::OptionInputs(int instrument, bool minor, std::vector<std::string> connection,
                           std::vector<std::string> substitution)
    : instrument_(std::to_string(instrument)),
      minor_(minor),
      connection_(std::move(connection)),
      substitution_(std::move(substitution)) {}

}  // namespace sonavela::cli
