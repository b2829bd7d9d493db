// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/clock_factory.h"

#include <memory>
#include <utility>

#include "timing/jack_transport.h"
#include "timing/link_clock.h"
#include "timing/link_session.h"
#include "timing/midi_clock_follower.h"
#include "timing/midi_input.h"
#include "timing/transport_clock.h"

namespace sonavela::timing {

namespace {

constexpr const char* kClientName = "Sonavela";
constexpr int kNotThere = 2;
constexpr int kFailed = 1;

// The tempo proposed where a master has none of its own.
double ProposedTempo(Meter grid) {
  return grid.BeatNs() > 0 ? 60e9 / grid.BeatNs() : kDefaultTempo;
}

ClockChoice Refused(std::string why, int status) {
  ClockChoice choice;
  choice.error = std::move(why);
  choice.status = status;
  return choice;
}

ClockChoice FollowJackTransport(const SyncSettings& settings, Meter grid) {
  std::string error;
  std::shared_ptr<timing::JackTransport> transport =
      timing::JackTransport::Connect(kClientName, ProposedTempo(grid), error);
  if (!transport) {
    return Refused(error, kNotThere);
  }
  ClockChoice choice;
  choice.clock = std::make_unique<TransportClock>([transport] { return transport->Read(); },
                                                  settings.beatsPerChord);
  return choice;
}

class InputSource final : public MidiClockFollower::Source {
 public:
  explicit InputSource(std::unique_ptr<timing::MidiClockInput> input) : input_(std::move(input)) {}
  std::optional<timing::ClockInputEvent> Next() override { return input_->Next(); }
  bool Gone() override { return input_->Gone(); }

 private:
  std::unique_ptr<timing::MidiClockInput> input_;
};

ClockChoice FollowMidiClock(const SyncSettings& settings, Meter grid) {
  std::string error;
  std::unique_ptr<timing::MidiClockInput> input =
      timing::MidiClockInput::Open(settings.clockInput, kClientName, error);
  if (!input) {
    return Refused(error, kNotThere);
  }
  // The tempo asked for is the guess until the master's clock tells its own.
  std::string name = input->Name();
  ClockChoice choice;
  choice.clock = std::make_unique<MidiClockFollower>(
      std::make_unique<InputSource>(std::move(input)), std::move(name), settings.beatsPerChord,
      ProposedTempo(grid));
  return choice;
}

ClockChoice FollowLink(const SyncSettings& settings, Meter grid) {
  std::string error;
  // A session Sonavela founds runs at this tempo; one it joins keeps its
  // own, as Link has every newcomer adopt it.
  std::unique_ptr<LinkSession> session = OpenLinkSession(ProposedTempo(grid), error);
  if (!session) {
    return Refused(error, kFailed);
  }
  ClockChoice choice;
  choice.clock = std::make_unique<LinkClock>(std::move(session), settings.beatsPerChord);
  return choice;
}

}  // namespace

ClockChoice MakeClock(const SyncSettings& settings, Meter grid) {
  switch (settings.source) {
    case SyncSource::kInternal: {
      ClockChoice choice;
      choice.clock = std::make_unique<GridClock>(grid);
      return choice;
    }
    case SyncSource::kJack:
      return FollowJackTransport(settings, grid);
    case SyncSource::kMidiClock:
      return FollowMidiClock(settings, grid);
    case SyncSource::kLink:
      return FollowLink(settings, grid);
  }
  return Refused("no such master", kNotThere);
}

timing::InputListing ListClockInputs() {
  return timing::ListMidiInputs(kClientName);
}

}  // namespace sonavela::timing
