// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/port/pattern.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sonavela::midi {

namespace {

constexpr std::array<std::string_view, 5> kPatternNames{"block", "arpeggio-up", "arpeggio-down",
                                                        "strum", "pulse"};

// The loose timing of --humanize has a source of its own: the progression's
// draws never see it, and a render comes out the same every time.
constexpr std::minstd_rand::result_type kHumanizeSeed = 20261209;

// At most 2 x 40 notes: sorted in place by insertion, which keeps the order
// of notes that fall together (an ending before the start at the same time).
void SortByTime(std::array<PatternNote, 2 * VoicedChord::kCapacity>& notes, std::size_t count) {
  for (std::size_t i = 1; i < count && i < notes.size(); ++i) {
    for (std::size_t j = i; j > 0 && notes[j].at < notes[j - 1].at; --j) {
      std::swap(notes[j], notes[j - 1]);
    }
  }
}

void SortKeys(VoicedChord& chord, bool upwards) {
  for (std::size_t i = 1; i < chord.count && i < chord.notes.size(); ++i) {
    for (std::size_t j = i; j > 0; --j) {
      const bool before = upwards ? chord.notes[j].key < chord.notes[j - 1].key
                                  : chord.notes[j].key > chord.notes[j - 1].key;
      if (!before) {
        break;
      }
      std::swap(chord.notes[j], chord.notes[j - 1]);
    }
  }
}

std::chrono::nanoseconds Nanoseconds(double ns) {
  return std::chrono::nanoseconds(std::llround(ns));
}

}  // namespace

std::optional<ChordPattern> ParseChordPattern(std::string_view name) {
  for (std::size_t i = 0; i < kPatternNames.size(); ++i) {
    if (kPatternNames[i] == name) {
      return static_cast<ChordPattern>(i);
    }
  }
  return std::nullopt;
}

std::string_view ChordPatternName(ChordPattern pattern) {
  return kPatternNames[static_cast<std::size_t>(pattern)];
}

std::span<const std::string_view> ChordPatternNames() {
  return kPatternNames;
}

PatternPlayer::PatternPlayer(ChordPattern pattern, int humanizeMs)
    : pattern_(pattern),
      humanizeNs_(static_cast<std::int64_t>(std::clamp(humanizeMs, 0, kLongestHumanizeMs)) *
                  1'000'000),
      random_(kHumanizeSeed) {}

void PatternPlayer::Begin(const VoicedChord& chord, Timestamp at, PatternBeat beat) {
  chord_ = chord;
  origin_ = at;
  step_ = 0;
  active_ = true;
  // Chords as fast as they can go have no time to spread a pattern over.
  const bool timed = beat.beatNs > 0 && std::isfinite(beat.beatNs) && beat.beatsPerChord > 0;
  chordNs_ = timed ? beat.beatNs * beat.beatsPerChord : 0.0;
  stepNs_ = 0;
  upper_.count = 0;
  for (const VoicedChord::Note& note : chord_) {
    if (!note.bass) {
      upper_.Add(note.key, false);
    }
  }
  if (timed && pattern_ == ChordPattern::kPulse) {
    stepNs_ = beat.beatNs;
  } else if (timed &&
             (pattern_ == ChordPattern::kArpeggioUp || pattern_ == ChordPattern::kArpeggioDown)) {
    SortKeys(upper_, pattern_ == ChordPattern::kArpeggioUp);
    stepNs_ = upper_.count > 0 ? beat.beatNs / 4 : 0.0;
  }
  BuildStep();
}

void PatternPlayer::Clear() {
  active_ = false;
  count_ = 0;
  next_ = 0;
}

std::optional<Timestamp> PatternPlayer::NextTime() const {
  if (!active_ || next_ >= count_) {
    return std::nullopt;
  }
  return notes_[next_].at;
}

std::optional<PatternNote> PatternPlayer::Take(Timestamp before) {
  if (!active_ || next_ >= count_ || notes_[next_].at >= before) {
    return std::nullopt;
  }
  const PatternNote note = notes_[next_++];
  if (next_ == count_) {
    if (stepNs_ > 0) {
      ++step_;
      BuildStep();
    } else {
      Clear();
    }
  }
  return note;
}

void PatternPlayer::AddOn(VoicedChord::Note note, std::chrono::nanoseconds delay) {
  if (humanizeNs_ > 0 && chordNs_ > 0) {
    // Never so late that a note would pass the step after it.
    const double gap = stepNs_ > 0 ? stepNs_ : chordNs_;
    const auto longest = std::min(humanizeNs_, static_cast<std::int64_t>(gap / 2));
    delay += std::chrono::nanoseconds(std::uniform_int_distribution<std::int64_t>(
        0, std::max<std::int64_t>(longest, 0))(random_));
  }
  if (count_ < notes_.size()) {
    const Timestamp at = origin_ + Nanoseconds(static_cast<double>(step_) * stepNs_);
    notes_[count_++] = {note, true, at + delay};
  }
}

void PatternPlayer::AddOff(VoicedChord::Note note) {
  if (count_ < notes_.size()) {
    notes_[count_++] = {note, false, origin_ + Nanoseconds(static_cast<double>(step_) * stepNs_)};
  }
}

void PatternPlayer::BuildStep() {
  count_ = 0;
  next_ = 0;
  switch (pattern_) {
    case ChordPattern::kBlock:
      for (const VoicedChord::Note& note : chord_) {
        AddOn(note, {});
      }
      break;
    case ChordPattern::kStrum: {
      VoicedChord low = chord_;
      SortKeys(low, true);
      // A strum fills at most the first quarter of the chord.
      const double last = std::min(static_cast<double>(kStrumStep.count()) * 1e6 *
                                       static_cast<double>(low.count > 0 ? low.count - 1 : 0),
                                   chordNs_ / 4);
      for (std::size_t i = 0; i < low.count; ++i) {
        const double share = low.count > 1 ? static_cast<double>(i) / (low.count - 1) : 0.0;
        AddOn(low.notes[i], Nanoseconds(last * share));
      }
      break;
    }
    case ChordPattern::kPulse:
      for (const VoicedChord::Note& note : chord_) {
        if (step_ > 0) {
          AddOff(note);
        }
      }
      for (const VoicedChord::Note& note : chord_) {
        AddOn(note, {});
      }
      break;
    case ChordPattern::kArpeggioUp:
    case ChordPattern::kArpeggioDown:
      if (step_ == 0) {
        for (const VoicedChord::Note& note : chord_) {
          if (note.bass || stepNs_ == 0) {
            AddOn(note, {});
          }
        }
      }
      if (stepNs_ > 0) {
        const auto n = static_cast<std::int64_t>(upper_.count);
        if (step_ > 0) {
          AddOff(upper_.notes[static_cast<std::size_t>((step_ - 1) % n)]);
        }
        AddOn(upper_.notes[static_cast<std::size_t>(step_ % n)], {});
      }
      break;
  }
  SortByTime(notes_, count_);
  if (count_ == 0) {
    Clear();
  }
}

}  // namespace sonavela::midi
