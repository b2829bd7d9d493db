// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "timing/clock_message.h"

namespace sonavela::timing {

// The inputs a master can be followed from: the MIDI outputs of other JACK
// programs, then the ALSA sequencer's ports, as RtMidi lists them. A JACK
// server is never started; why a kind of input is missing goes into
// `unavailable` ("JACK: no JACK server is running").
struct InputListing {
  std::vector<std::string> names;
  std::vector<std::string> unavailable;
};
[[nodiscard]] InputListing ListMidiInputs(const std::string& clientName = "Sonavela");

class JackClockPort;

// One MIDI input, opened for the messages of a clock master. A JACK port is
// read by a JACK client of the program's own, which stamps each message with
// its frame's time (JackClockPort); an ALSA port through RtMidi, which calls
// in on a thread of its own that only stamps each message and queues it. The
// thread that plays takes them with Next. Everything but those callbacks is
// for the thread that plays.
class MidiClockInput {
 public:
  // `which` is an index in ListMidiInputs order or an input's exact name.
  // Fails when there is no such input or it cannot be opened.
  static Result<std::unique_ptr<MidiClockInput>> Open(const std::string& which,
                                                      const std::string& clientName);
  ~MidiClockInput();
  MidiClockInput(const MidiClockInput&) = delete;
  MidiClockInput& operator=(const MidiClockInput&) = delete;

  // The oldest message not yet taken.
  [[nodiscard]] std::optional<ClockInputEvent> Next();
  // The input's name as listed.
  [[nodiscard]] const std::string& Name() const { return name_; }
  // Whether the input is no longer listed (its program quit, its device was
  // unplugged). RtMidi says nothing when that happens, so this asks the
  // system: not for every poll. An input found again after it was missing
  // is opened anew, its old connection being gone with it.
  [[nodiscard]] bool Gone();

  struct Receiver;
  // Only Open makes one.
  class Key {
    friend class MidiClockInput;
    Key() = default;
  };
  MidiClockInput(Key key, std::string name, std::string clientName, int api);

 private:
  [[nodiscard]] bool Reopen();

  std::string name_;
  std::string clientName_;
  int api_ = 0;
  bool missing_ = false;
  std::unique_ptr<Receiver> receiver_;
  std::unique_ptr<JackClockPort> jack_;  // for a JACK port, while its server runs
  bool onJack_ = false;
};

}  // namespace sonavela::timing
