// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/chord_feed.h"

#include <string>
#include <vector>

#include "generator/generator.h"
#include "midi/port/midi_backend.h"
#include "midi/port/midi_port.h"
#include "playback/playback_control.h"

namespace sonavela::playback {

namespace {

// A device that keeps what it is sent in the chord being rendered.
class RenderingBackend final : public midi::MidiBackend {
 public:
  void RenderInto(RenderedChord& chord) {
    chord.count = 0;
    target_ = &chord;
  }
  void Voiced(const midi::VoicedChord& voiced) {
    if (target_ != nullptr) {
      target_->voiced = voiced;
    }
  }

  unsigned DeviceCount() const override { return 0; }
  std::optional<std::string> DeviceName(unsigned) const override { return std::nullopt; }
  Status Open(unsigned index) override { return midi::NoSuchDevice(index); }
  Status Send(const midi::MidiMessage& message, midi::Timestamp) override {
    if (target_ != nullptr && target_->count < RenderedChord::kCapacity) {
      target_->messages[target_->count++] = message;
    }
    return {};
  }
  Status Close() override { return {}; }

 private:
  RenderedChord* target_ = nullptr;
};

// The chord's notes are rendered at once: spreading them as a pattern is the
// player's, on its own beats.
midi::VoicingSettings AllAtOnce(midi::VoicingSettings voicing) {
  voicing.pattern = midi::ChordPattern::kBlock;
  voicing.humanizeMs = 0;
  return voicing;
}

// The port owns the backend; the renderers keep a view of it to aim it.
std::unique_ptr<midi::MidiBackend> Kept(RenderingBackend*& view) {
  auto backend = std::make_unique<RenderingBackend>();
  view = backend.get();
  return backend;
}

}  // namespace

class ChordFeed::Parts {
 public:
  explicit Parts(const FeedSettings& settings) : port(Kept(backend)), control(generator, port) {
    inputs.instrument = settings.opening.instrument;
    inputs.minor = settings.opening.homeKey.mode == harmony::kMinor;
    inputs.homeKey = settings.opening.homeKey;
    inputs.connection = settings.tables.connection;
    inputs.substitution = settings.tables.substitution;
    generator.SetRandomState(settings.seed);
    port.SetVoicing(AllAtOnce(settings.opening.voicing));
  }

  generator::ProgressionGenerator generator;
  StartInputs inputs;
  RenderingBackend* backend = nullptr;  // owned by port
  midi::MidiPort port;
  PlaybackControl control;
};

class OpeningRenderer::Parts {
 public:
  Parts() : port(Kept(backend)) {}

  RenderingBackend* backend = nullptr;  // owned by port
  midi::MidiPort port;
};

OpeningRenderer::OpeningRenderer() : parts_(std::make_unique<Parts>()) {}

OpeningRenderer::~OpeningRenderer() = default;

const RenderedChord& OpeningRenderer::Render(const OpeningSettings& settings) {
  parts_->backend->RenderInto(opening_);
  midi::MidiPort& port = parts_->port;
  port.SetVoicing(AllAtOnce(settings.voicing));  // and nothing left sounding from the last one
  // As PlaybackControl::Start sends them: the instrument, the silence before
  // the tonic, the tonic.
  port.ProgramChange(settings.instrument, midi::Timestamp{});
  port.AllNotesOff(midi::Timestamp{});
  port.PlayChord(harmony::BuildChordOnDegree(settings.homeKey, 1), midi::Timestamp{});
  parts_->backend->Voiced(port.LastVoiced());
  return opening_;
}

ChordFeed::ChordFeed(const FeedSettings& settings) : parts_(std::make_unique<Parts>(settings)) {
  parts_->backend->RenderInto(opening_);
  parts_->control.Start(parts_->inputs, midi::Timestamp{});
  parts_->backend->Voiced(parts_->port.LastVoiced());
  Step();
}

ChordFeed::~ChordFeed() = default;

void ChordFeed::Step() {
  parts_->backend->RenderInto(upcoming_);
  parts_->control.Tick(midi::Timestamp{});
  parts_->backend->Voiced(parts_->port.LastVoiced());
}

}  // namespace sonavela::playback
