#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sonavela::midi {

struct MidiFileOptions {
  int ticksPerQuarter = 480;
  // One chord is written as one 4/4 bar: the tempo follows from this.
  std::chrono::milliseconds chordLength{2000};
  std::string trackName = "Sonavela";
};

// Collects what the port sends, with musical time stamps, and writes it as a
// Standard MIDI File (format 0). All-notes-off becomes note-offs for the notes
// that sound, so sequencers and notation programs see clean note lengths.
class MidiFileRecording {
 public:
  explicit MidiFileRecording(MidiFileOptions options = {});

  // Time of the events added next; never goes backwards.
  void SetTime(std::chrono::milliseconds time);
  [[nodiscard]] std::chrono::milliseconds Time() const { return time_; }

  // A short message as MidiPort packs it (status in the low byte).
  void AddMessage(std::uint32_t message);
  // A marker meta event, e.g. the result line of a chord.
  void AddMarker(std::string_view text);

  void Clear();
  [[nodiscard]] bool Empty() const { return track_.bytes.empty(); }
  [[nodiscard]] const MidiFileOptions& Options() const { return options_; }

  // The whole file. Notes still sounding end at `end` (not before the last event).
  [[nodiscard]] std::vector<std::uint8_t> Encode(std::chrono::milliseconds end) const;

  // Microseconds per quarter note written in the tempo event.
  [[nodiscard]] std::uint32_t TempoMicroseconds() const;

 private:
  // A sounding note: channel * 128 + note number.
  using Sounding = std::set<int>;

  // The track grows as events come, already encoded: an endless progression
  // costs a few bytes per message, and time never runs backwards anyway.
  struct Track {
    std::vector<std::uint8_t> bytes;
    std::int64_t lastTick = 0;

    void Put(std::int64_t tick, std::initializer_list<std::uint8_t> event);
    void PutMeta(std::int64_t tick, std::uint8_t type, std::string_view data);
    void PutDelta(std::int64_t tick);
  };

  [[nodiscard]] std::int64_t TickAt(std::chrono::milliseconds time) const;
  // Note-offs for the sounding notes of `channel`, or of every channel (-1).
  static void NotesOff(std::int64_t tick, Track& into, Sounding& sounding, int channel);

  MidiFileOptions options_;
  std::chrono::milliseconds time_{0};
  Track track_;
  Sounding sounding_;
};

}  // namespace sonavela::midi
