// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/files/midi_file.h"

#include <algorithm>
#include <utility>

namespace sonavela::midi {

namespace {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kReleaseVelocity = 0x40;
// MThd and its six bytes, then MTrk: the track's length follows.
constexpr std::uint64_t kTrackLengthOffset = 18;
constexpr std::size_t kFileHeaderBytes = 22;
constexpr std::uint32_t kMaxTempo = 0xFFFFFF;
constexpr std::int64_t kMaxDelta = 0x0FFFFFFF;

void PutVariableLength(std::vector<std::uint8_t>& out, std::uint64_t value) {
  std::uint8_t groups[10];
  int count = 0;
  do {
    groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 0) {
    --count;
    out.push_back(static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0x00)));
  }
}

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i)
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

MidiFileRecording::MidiFileRecording(MidiFileOptions options) : options_(std::move(options)) {
  options_.ticksPerQuarter = std::clamp(options_.ticksPerQuarter, 1, 0x7FFF);
}

void MidiFileRecording::SetTime(std::chrono::microseconds time) {
  time_ = std::max(time_, time);
}

std::uint32_t MidiFileRecording::TempoMicroseconds() const {
  const std::int64_t tempo = options_.beat.count();
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(tempo, 1, kMaxTempo));
}

std::int64_t MidiFileRecording::TickAt(std::chrono::microseconds time) const {
  const std::int64_t us = time.count();
  const std::int64_t tempo = TempoMicroseconds();
  return (us * options_.ticksPerQuarter + tempo / 2) / tempo;
}

void MidiFileRecording::Track::PutDelta(std::int64_t tick) {
  std::int64_t delta = std::max<std::int64_t>(tick - lastTick, 0);
  // A delta is at most four bytes long; a longer pause (days of playing
  // without a message) is bridged by empty text events.
  while (delta > kMaxDelta) {
    PutVariableLength(bytes, kMaxDelta);
    bytes.insert(bytes.end(), {0xFF, 0x01, 0x00});
    delta -= kMaxDelta;
  }
  PutVariableLength(bytes, static_cast<std::uint64_t>(delta));
  lastTick = std::max(lastTick, tick);
}

void MidiFileRecording::Track::Put(std::int64_t tick, std::initializer_list<std::uint8_t> event) {
  PutDelta(tick);
  bytes.insert(bytes.end(), event);
}

void MidiFileRecording::Track::PutMeta(std::int64_t tick, std::uint8_t type,
                                       std::string_view data) {
  PutDelta(tick);
  bytes.insert(bytes.end(), {0xFF, type});
  PutVariableLength(bytes, data.size());
  bytes.insert(bytes.end(), data.begin(), data.end());
}

void MidiFileRecording::NotesOff(std::int64_t tick, Track& into, Sounding& sounding, int channel) {
  for (auto it = sounding.begin(); it != sounding.end();) {
    const int noteChannel = *it / 128;
    if (channel >= 0 && noteChannel != channel) {
      ++it;
      continue;
    }
    into.Put(tick, {static_cast<std::uint8_t>(kNoteOff | noteChannel),
                    static_cast<std::uint8_t>(*it % 128), kReleaseVelocity});
    it = sounding.erase(it);
  }
}

void MidiFileRecording::AddMessage(const MidiMessage& message) {
  if (!message.IsChannelMessage()) {
    return;  // clock and transport messages belong to no file
  }
  const std::uint8_t status = message.Status();
  const std::uint8_t data1 = message.Data1();
  const std::int64_t tick = TickAt(time_);
  const int channel = status & 0x0F;
  const int key = channel * 128 + data1;

  if (message.IsAllNotesOff()) {
    NotesOff(tick, track_, sounding_, channel);
    return;
  }
  if (message.IsNoteOn()) {
    // A repeated note-on would leave the first note without an end.
    if (sounding_.contains(key)) {
      track_.Put(tick, {static_cast<std::uint8_t>(kNoteOff | channel), data1, kReleaseVelocity});
    }
    sounding_.insert(key);
  } else if (message.IsNoteOff()) {
    sounding_.erase(key);
  }
  if (message.Size() == 3) {
    track_.Put(tick, {status, data1, message.Data2()});
  } else {
    track_.Put(tick, {status, data1});
  }
}

void MidiFileRecording::AddMarker(std::string_view text) {
  track_.PutMeta(TickAt(time_), 0x06, text);
}

void MidiFileRecording::Clear() {
  track_ = {};
  sounding_.clear();
  time_ = std::chrono::microseconds{0};
  sink_ = nullptr;
  streamed_ = 0;
}

MidiFileRecording::Track MidiFileRecording::Head() const {
  Track head;
  head.PutMeta(0, 0x03, options_.trackName);
  std::vector<std::uint8_t> tempo;
  PutBigEndian(tempo, TempoMicroseconds(), 3);
  head.PutMeta(0, 0x51, std::string_view(reinterpret_cast<const char*>(tempo.data()), 3));
  head.PutMeta(0, 0x58, std::string_view("\x04\x02\x18\x08", 4));  // 4/4
  return head;
}

MidiFileRecording::Track MidiFileRecording::Tail(std::chrono::microseconds end) const {
  Track tail;
  tail.lastTick = track_.lastTick;
  const std::int64_t endTick = std::max(track_.lastTick, TickAt(end));
  Sounding sounding = sounding_;
  NotesOff(endTick, tail, sounding, -1);
  tail.PutMeta(endTick, 0x2F, {});
  return tail;
}

namespace {

// The length field is written as it stands once the whole track is known.
std::vector<std::uint8_t> FileHeader(int ticksPerQuarter, std::uint64_t trackLength) {
  std::vector<std::uint8_t> file{'M', 'T', 'h', 'd'};
  PutBigEndian(file, 6, 4);
  PutBigEndian(file, 0, 2);  // format 0
  PutBigEndian(file, 1, 2);  // one track
  PutBigEndian(file, static_cast<std::uint32_t>(ticksPerQuarter), 2);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  PutBigEndian(file, static_cast<std::uint32_t>(trackLength), 4);
  return file;
}

}  // namespace

std::vector<std::uint8_t> MidiFileRecording::Encode(std::chrono::microseconds end) const {
  const Track head = Head();
  const Track tail = Tail(end);
  const std::size_t length = head.bytes.size() + track_.bytes.size() + tail.bytes.size();
  std::vector<std::uint8_t> file = FileHeader(options_.ticksPerQuarter, length);
  file.reserve(kFileHeaderBytes + length);
  file.insert(file.end(), head.bytes.begin(), head.bytes.end());
  file.insert(file.end(), track_.bytes.begin(), track_.bytes.end());
  file.insert(file.end(), tail.bytes.begin(), tail.bytes.end());
  return file;
}

Status MidiFileRecording::StreamTo(ByteSink& sink) {
  sink_ = &sink;
  const Track head = Head();
  if (Status written = sink.Append(FileHeader(options_.ticksPerQuarter, 0)); !written) {
    return written;
  }
  if (Status written = sink.Append(head.bytes); !written) {
    return written;
  }
  streamed_ = head.bytes.size();
  return Flush();
}

Status MidiFileRecording::Flush() {
  if (sink_ == nullptr || track_.bytes.empty()) {
    return {};
  }
  if (Status written = sink_->Append(track_.bytes); !written) {
    return written;
  }
  streamed_ += track_.bytes.size();
  track_.bytes.clear();
  return {};
}

MidiFileRecording::Ending MidiFileRecording::EndingAt(std::chrono::microseconds end) const {
  Ending ending;
  ending.tail = Tail(end).bytes;
  ending.lengthAt = kTrackLengthOffset;
  PutBigEndian(ending.length,
               static_cast<std::uint32_t>(streamed_ + track_.bytes.size() + ending.tail.size()), 4);
  return ending;
}

Status MidiFileRecording::Finish(std::chrono::microseconds end) {
  if (sink_ == nullptr) {
    return Error::Of(ErrorKind::kBadUse, {}, "nothing is being streamed");
  }
  if (Status flushed = Flush(); !flushed) {
    return flushed;
  }
  const Ending ending = EndingAt(end);
  if (Status written = sink_->Append(ending.tail); !written) {
    return written;
  }
  return sink_->Overwrite(ending.lengthAt, ending.length);
}

}  // namespace sonavela::midi
