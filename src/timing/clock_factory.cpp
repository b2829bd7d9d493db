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

// The JACK transport, and again once a server that went away is back under
// the same name: while it is gone, a client is tried for a few times a
// second, which costs next to nothing when no server answers.
class TransportSource {
 public:
  TransportSource(std::unique_ptr<JackTransport> transport, double fallbackBpm)
      : transport_(std::move(transport)), fallbackBpm_(fallbackBpm) {}

  std::optional<TransportPosition> Read() {
    if (transport_) {
      if (std::optional<TransportPosition> read = transport_->Read()) {
        return read;
      }
      transport_.reset();
    }
    const Timestamp now = midi::MidiClock::now();
    if (now < nextTry_) {
      return std::nullopt;
    }
    nextTry_ = now + kRetry;
    std::string error;
    transport_ = JackTransport::Connect(kClientName, fallbackBpm_, error);
    return transport_ ? transport_->Read() : std::nullopt;
  }

 private:
  static constexpr std::chrono::milliseconds kRetry{250};

  std::unique_ptr<JackTransport> transport_;
  double fallbackBpm_;
  Timestamp nextTry_{};
};

ClockChoice FollowJackTransport(const SyncSettings& settings, Meter grid) {
  std::string error;
  std::unique_ptr<JackTransport> transport =
      JackTransport::Connect(kClientName, ProposedTempo(grid), error);
  if (!transport) {
    return Refused(error, kNotThere);
  }
  auto source = std::make_shared<TransportSource>(std::move(transport), ProposedTempo(grid));
  ClockChoice choice;
  choice.clock =
      std::make_unique<TransportClock>([source] { return source->Read(); }, settings.beatsPerChord);
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
