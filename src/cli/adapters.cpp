#include "cli/adapters.h"

namespace sonavela::cli {

void PrintingResultList::Append(const std::string& line) {
  ++count_;
  ++printed_;
  // A reader that went away is the user's way of saying "enough", as in
  // `sonavela-cli | head -3`.
  if (!out_.Write(line + "\n")) {
    stop_.Request();
  }
}

void ScheduleTimer::Arm(unsigned id, std::chrono::milliseconds period) {
  if (id != playback::kStepTimerId) {
    return;
  }
  armed_ = true;
  schedule_.Start(playback::TickSchedule::Clock::now(), period);
}

void ScheduleTimer::Disarm(unsigned id) {
  if (id == playback::kStepTimerId) {
    armed_ = false;
  }
}

OptionInputs::OptionInputs(int instrument, bool minor, std::vector<std::string> connection,
                           std::vector<std::string> substitution)
    : instrument_(std::to_string(instrument)),
      minor_(minor),
      connection_(std::move(connection)),
      substitution_(std::move(substitution)) {
  connection_.emplace_back();
  substitution_.emplace_back();
}

}  // namespace sonavela::cli
