// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "midi/files/byte_sink.h"
#include "midi/port/midi_message.h"

namespace sonavela::midi {

struct MidiFileOptions {
  int ticksPerQuarter = 480;
  // A quarter note, the tempo the file is written with; a length that no
  // tempo can express is clamped to the tempo's range. The meter is 4/4.
  std::chrono::microseconds beat{};
  std::string trackName = "Sonavela";
};

// Collects what the port sends, with musical time stamps, and writes it as a
// Standard MIDI File (format 0). All-notes-off becomes note-offs for the notes
// that sound, so sequencers and notation programs see clean note lengths.
//
// The file is either kept in memory and encoded whole when it is saved, or
// streamed into a sink while it grows, so that an endless progression costs
// no memory and a full disk shows at once:
//
//   MidiFileRecording recording;
//   if (!recording.StreamTo(file)) ...          // header out at once
//   recording.SetTime(...); recording.AddMessage(...);
//   if (!recording.Flush()) ...                 // after each chord
//   if (!recording.Finish(end)) ...             // notes end, length patched
class MidiFileRecording {
 public:
  explicit MidiFileRecording(MidiFileOptions options = {});

  // Time of the events added next, from the start of the recording; never
  // goes backwards.
  void SetTime(std::chrono::microseconds time);
  [[nodiscard]] std::chrono::microseconds Time() const { return time_; }

  // Channel messages are kept; system messages belong to no file.
  void AddMessage(const MidiMessage& message);
  // A marker meta event, e.g. the result line of a chord.
  void AddMarker(std::string_view text);

  // Starts afresh, in memory.
  void Clear();
  [[nodiscard]] bool Empty() const { return !streamed_ && track_.bytes.empty(); }
  [[nodiscard]] const MidiFileOptions& Options() const { return options_; }

  // The whole file of a recording in memory. Notes still sounding end at
  // `end` (not before the last event).
  [[nodiscard]] std::vector<std::uint8_t> Encode(std::chrono::microseconds end) const;

  // From now on the file goes into `sink`, which must outlive the recording:
  // the header and everything recorded so far at once, later events at each
  // Flush. Fails when writing failed.
  Status StreamTo(ByteSink& sink);
  Status Flush();
  // Ends the streamed file: the notes still sounding end at `end`, the end
  // of track follows and the header gets the track's length.
  Status Finish(std::chrono::microseconds end);
  [[nodiscard]] bool Streaming() const { return sink_ != nullptr; }
  // Bytes of the track held in memory, not yet in a sink.
  [[nodiscard]] std::size_t Buffered() const { return track_.bytes.size(); }

  // What completes a copy of the sink's bytes into a whole file, the stream
  // going on: after a Flush, `tail` appended and `length` written at
  // `lengthAt`.
  struct Ending {
    std::vector<std::uint8_t> tail;
    std::uint64_t lengthAt = 0;
    std::vector<std::uint8_t> length;
  };
  [[nodiscard]] Ending EndingAt(std::chrono::microseconds end) const;

  // Microseconds per quarter note written in the tempo event.
  [[nodiscard]] std::uint32_t TempoMicroseconds() const;
  // The longest quarter note a tempo can say.
  static constexpr std::chrono::microseconds kLongestBeat{0xFFFFFF};

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

  [[nodiscard]] std::int64_t TickAt(std::chrono::microseconds time) const;
  // Note-offs for the sounding notes of `channel`, or of every channel (-1).
  static void NotesOff(std::int64_t tick, Track& into, Sounding& sounding, int channel);
  [[nodiscard]] Track Head() const;
  [[nodiscard]] Track Tail(std::chrono::microseconds end) const;

  MidiFileOptions options_;
  std::chrono::microseconds time_{0};
  Track track_;
  Sounding sounding_;
  ByteSink* sink_ = nullptr;
  // Bytes of the track that the sink already holds (head included).
  std::uint64_t streamed_ = 0;
};

}  // namespace sonavela::midi
