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

// The tempo proposed where a master has none of its own.
double ProposedTempo(Meter grid) {
  return grid.BeatNs() > 0 ? 60e9 / grid.BeatNs() : kDefaultTempo;
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
    Result<std::unique_ptr<JackTransport>> connected =
        JackTransport::Connect(kClientName, fallbackBpm_);
    if (!connected) {
      return std::nullopt;
    }
    transport_ = std::move(connected).value();
    return transport_->Read();
  }

 private:
  static constexpr std::chrono::milliseconds kRetry{250};

  std::unique_ptr<JackTransport> transport_;
  double fallbackBpm_;
  Timestamp nextTry_{};
};

ClockChoice FollowJackTransport(const SyncSettings& settings, Meter grid) {
  Result<std::unique_ptr<JackTransport>> transport =
      JackTransport::Connect(kClientName, ProposedTempo(grid));
  if (!transport) {
    return transport.error();
  }
  auto source =
      std::make_shared<TransportSource>(std::move(transport).value(), ProposedTempo(grid));
  return std::unique_ptr<ChordClock>(std::make_unique<TransportClock>(
      [source] { return source->Read(); }, settings.beatsPerChord));
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
  Result<std::unique_ptr<timing::MidiClockInput>> input =
      timing::MidiClockInput::Open(settings.clockInput, kClientName);
  if (!input) {
    return input.error();
  }
  // The tempo asked for is the guess until the master's clock tells its own.
  std::string name = (*input)->Name();
  return std::unique_ptr<ChordClock>(std::make_unique<MidiClockFollower>(
      std::make_unique<InputSource>(std::move(input).value()), std::move(name),
      settings.beatsPerChord, ProposedTempo(grid)));
}

ClockChoice FollowLink(const SyncSettings& settings, Meter grid) {
  // A session Sonavela founds runs at this tempo; one it joins keeps its
  // own, as Link has every newcomer adopt it.
  Result<std::unique_ptr<LinkSession>> session = OpenLinkSession(ProposedTempo(grid));
  if (!session) {
    return session.error();
  }
  return std::unique_ptr<ChordClock>(
      std::make_unique<LinkClock>(std::move(session).value(), settings.beatsPerChord));
}

}  // namespace

ClockChoice MakeClock(const SyncSettings& settings, Meter grid) {
  switch (settings.source) {
    case SyncSource::kInternal:
      return std::unique_ptr<ChordClock>(std::make_unique<GridClock>(grid));
    case SyncSource::kJack:
      return FollowJackTransport(settings, grid);
    case SyncSource::kMidiClock:
      return FollowMidiClock(settings, grid);
    case SyncSource::kLink:
      return FollowLink(settings, grid);
  }
  return Error::Of(ErrorKind::kNoMaster);
}

timing::InputListing ListClockInputs() {
  return timing::ListMidiInputs(kClientName);
}

}  // namespace sonavela::timing
