// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin_test_support.h"

#include <cstdio>
#include <fstream>

namespace sonavela::plugin::testing {
namespace {

Notes NoteOns(const Group& group) {
  Notes notes;
  for (const Bytes& m : group.messages) {
    if (m.size() == 3 && (m[0] & 0xF0) == 0x90 && m[2] > 0) {
      notes.push_back(m[1]);
    }
  }
  return notes;
}

std::vector<Bytes> Messages(std::vector<Bytes> head, const Notes& notes) {
  for (int n : notes) {
    head.push_back({0x90, static_cast<std::uint8_t>(n), 0x40});
  }
  return head;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Group& group) {
  out << "@" << group.frame << ":";
  for (const Bytes& m : group.messages) {
    out << " ";
    for (std::uint8_t b : m) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", b);
      out << hex;
    }
  }
  return out;
}

void PrintTo(const LogRecord& record, std::ostream* out) {
  *out << record.type << ": " << record.text;
}

std::vector<Group> Groups(const Lv2Host& host) {
  std::vector<Group> groups;
  for (const MidiRecord& r : host.Midi()) {
    if (!r.bytes.empty() && (r.bytes[0] & 0xF0) == 0x80) {
      continue;
    }
    if (groups.empty() || groups.back().frame != r.frame) {
      groups.push_back({r.frame, {}});
    }
    groups.back().messages.push_back(r.bytes);
  }
  return groups;
}

std::vector<Notes> Chords(const Lv2Host& host, std::int64_t from, std::size_t count) {
  std::vector<Notes> chords;
  for (const Group& g : Groups(host)) {
    if (g.frame >= from && chords.size() < count && !NoteOns(g).empty()) {
      chords.push_back(NoteOns(g));
    }
  }
  return chords;
}

std::vector<Bytes> FreshStart(int instrument, const Notes& notes) {
  const auto program = static_cast<std::uint8_t>(instrument - 1);
  return Messages({kSilence, {0xC0, program}, kSilence, kSilence}, notes);
}

std::vector<Bytes> NextChord(const Notes& notes) {
  return Messages({kSilence}, notes);
}

const std::vector<Notes>& DefaultProgression() {
  static const std::vector<Notes> chords = [] {
    Lv2Host host;
    host.SetControl(Control::kBeatsPerChord, 1);
    host.RunUntil(8 * kChordOfOneBeat, 1024);
    return Chords(host, 0, 8);
  }();
  return chords;
}

void RollAt(Lv2Host& host, std::int64_t frame) {
  host.SendPosition(0, kStoppedAtBar1);
  host.SendPosition(frame, kBar1);
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

const std::string kOwnRules =
    "# the default tables with other weights\n"
    "[connection]\n"
    "  20     m11M\n  10     ?16\n  20      16M\n  20     ?14\n  10      14m\n  40      62\n"
    "  10     m62n\n  40     ?251\n  40     ?25\n  20      44m\n  80     ?45\n  20     m47\n"
    "  80     ?15\n  80     ?51\n  80     ?71\n  80     ?56\n"
    "[substitution]\n"
    "  40     ?11\n  40     ?22\n  40     ?33\n  40     ?44\n  40     ?55\n  40     ?66\n"
    "  40     ?77\n  80      24\n  80     m64\n  20     ?15\n  10      14\n";

}  // namespace sonavela::plugin::testing
