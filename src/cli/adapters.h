#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/terminal.h"
#include "midi/midi_backend.h"
#include "playback/playback_control.h"
#include "playback/tick_schedule.h"

namespace sonavela::cli {

// The result list of a terminal: every appended line goes straight to
// standard output. Only the count is kept, because the control trims the
// list to its limit and a terminal cannot take lines back.
class PrintingResultList final : public playback::ResultList {
 public:
  PrintingResultList(FdWriter& out, StopSignal& stop) : out_(out), stop_(stop) {}

  void Clear() override { count_ = 0; }
  [[nodiscard]] int Count() const override { return count_; }
  void DeleteFirst() override { --count_; }
  void Append(const std::string& line) override;
  void Select(int) override {}

  // Lines printed since the program started, across Clear.
  [[nodiscard]] std::uint64_t Printed() const { return printed_; }

 private:
  FdWriter& out_;
  StopSignal& stop_;
  int count_ = 0;
  std::uint64_t printed_ = 0;
};

// The step timer as deadlines on the steady clock; the command line's loop
// sleeps until the next one.
class ScheduleTimer final : public playback::StepTimer {
 public:
  void Arm(unsigned id, std::chrono::milliseconds period) override;
  void Disarm(unsigned id) override;

  [[nodiscard]] bool Armed() const { return armed_; }
  [[nodiscard]] playback::TickSchedule& Schedule() { return schedule_; }

 private:
  playback::TickSchedule schedule_;
  bool armed_ = false;
};

class OptionInputs final : public playback::ControlInputs {
 public:
  // Both lists without their empty last line; it is added here.
  OptionInputs(int instrument, bool minor, std::vector<std::string> connection,
               std::vector<std::string> substitution);

  [[nodiscard]] std::string InstrumentText() const override { return instrument_; }
  [[nodiscard]] bool MinorKey() const override { return minor_; }
  [[nodiscard]] std::vector<std::string> ConnectionLines() const override { return connection_; }
  [[nodiscard]] std::vector<std::string> SubstitutionLines() const override {
    return substitution_;
  }

 private:
  std::string instrument_;
  bool minor_;
  std::vector<std::string> connection_;
  std::vector<std::string> substitution_;
};

// `--device none`: a family with no devices, so that every send is refused
// exactly as it is when no device could be opened.
class NoDeviceBackend final : public midi::MidiBackend {
 public:
  [[nodiscard]] unsigned DeviceCount() const override { return 0; }
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned) const override {
    return std::nullopt;
  }
  [[nodiscard]] bool Open(unsigned) override { return false; }
  void Send(std::uint32_t) override {}
  void Close() override {}
  [[nodiscard]] std::string LastError() const override { return "no device"; }
};

}  // namespace sonavela::cli
