// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/midi_input.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <utility>

#include <rtmidi/RtMidi.h>

#include "midi/devices/alsa-rtmidi/midi_host.h"
#include "midi/devices/alsa-rtmidi/rtmidi_output.h"
#include "midi/devices/spsc_queue.h"
#if defined(SONAVELA_HAVE_JACK)
#include "midi/devices/jack/jack_session.h"
#include "timing/jack_clock_port.h"
#endif

namespace sonavela::timing {

#if !defined(SONAVELA_HAVE_JACK)
// Never made without JACK; complete only for the owning pointer.
class JackClockPort {};
#endif

namespace {

// The inputs of other JACK programs first, as in the list of outputs; then
// the rest in RtMidi's order.
std::vector<RtMidi::Api> InputApis() {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  std::vector<RtMidi::Api> apis;
  if (std::find(compiled.begin(), compiled.end(), RtMidi::UNIX_JACK) != compiled.end()) {
    apis.push_back(RtMidi::UNIX_JACK);
  }
  for (RtMidi::Api api : compiled) {
    if (api != RtMidi::UNIX_JACK && api != RtMidi::RTMIDI_DUMMY) {
      apis.push_back(api);
    }
  }
  return apis;
}

// Why an API cannot be asked now. RtMidi itself would print to stderr when
// its subsystem is absent (libjack on a missing server, RtMidi's warning
// from a constructor, before an error callback can be set), so it is asked
// only where the subsystem is there.
std::string AbsenceOf(RtMidi::Api api, const std::string& clientName) {
  if (api == RtMidi::LINUX_ALSA && !midi::AlsaSequencerAccessible()) {
    return "no ALSA sequencer (/dev/snd/seq is missing or not accessible)";
  }
  if (api == RtMidi::UNIX_JACK) {
#if defined(SONAVELA_HAVE_JACK)
    // The program's own JACK client keeps libjack quiet, and never starts a
    // server.
    midi::JackSession probe(clientName);
    if (Status connected = probe.Connect(); !connected) {
      return EnglishText(connected.error());
    }
#else
    (void)clientName;
    return "this build cannot reach JACK";
#endif
  }
  return {};
}

struct Entry {
  RtMidi::Api api = RtMidi::UNSPECIFIED;
  unsigned port = 0;
  std::string name;
};

// Every input of every API, each API asked through `in` (left holding the
// last one asked) so that an input can be opened by the client that listed
// it.
template <typename Visit>
void ForEachInput(const std::string& clientName, std::vector<std::string>& unavailable,
                  std::string& rtmidiError, Visit visit) {
  setenv("JACK_NO_START_SERVER", "1", 0);
  for (RtMidi::Api api : InputApis()) {
    // Spelled as in the list of outputs.
    const std::string apiName = api == RtMidi::UNIX_JACK ? "JACK" : RtMidi::getApiDisplayName(api);
    if (const std::string absence = AbsenceOf(api, clientName); !absence.empty()) {
      unavailable.push_back(apiName + ": " + absence);
      continue;
    }
    rtmidiError.clear();
    try {
      auto in = std::make_unique<RtMidiIn>(api, clientName + " clock");
      in->setErrorCallback(&midi::CollectRtMidiError, &rtmidiError);
      const unsigned count = in->getPortCount();
      for (unsigned port = 0; port < count; ++port) {
        if (visit(in, Entry{api, port, in->getPortName(port)})) {
          return;
        }
      }
      if (count == 0 && !rtmidiError.empty()) {
        unavailable.push_back(apiName + ": " + rtmidiError);
      }
    } catch (const RtMidiError& error) {
      unavailable.push_back(apiName + ": " + error.getMessage());
    }
  }
}

std::optional<unsigned> ParseIndex(const std::string& text) {
  if (text.empty() || text.size() > 6 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return static_cast<unsigned>(std::stoul(text));
}

}  // namespace

// What RtMidi's thread shares with the thread that plays: the queue, and
// the input that calls in. The input goes first, so that no call comes in
// while the queue is taken down.
struct MidiClockInput::Receiver {
  midi::SpscQueue<ClockInputEvent> queue{kClockQueueCapacity};
  std::atomic<bool> lost{false};
  std::string rtmidiError;
  std::unique_ptr<RtMidiIn> in;

  // Until `in` is closed, RtMidi's thread may call in.
  ~Receiver() { in.reset(); }

  // Opens `port` of `in` and keeps it; fails when RtMidi refuses.
  Status Attach(std::unique_ptr<RtMidiIn> input, unsigned port, const std::string& name) {
    rtmidiError.clear();
    input->setErrorCallback(&midi::CollectRtMidiError, &rtmidiError);
    // Clocks are what it is opened for; RtMidi leaves them out unless asked.
    input->ignoreTypes(true, false, true);
    input->setCallback(&OnMessage, this);
    input->openPort(port, "clock in");
    if (!input->isPortOpen() || !rtmidiError.empty()) {
      return Error::Of(ErrorKind::kInputNotOpened, name, rtmidiError);
    }
    in = std::move(input);
    return {};
  }

  // On RtMidi's thread: a time stamp and a queue slot, no allocation, no
  // lock.
  static void OnMessage(double /*delta*/, std::vector<unsigned char>* bytes, void* data) {
    auto& self = *static_cast<Receiver*>(data);
    if (bytes == nullptr) {
      return;
    }
    std::optional<ClockInputEvent> event = ClockInputFromBytes(bytes->data(), bytes->size());
    if (!event) {
      return;
    }
    event->at = midi::MidiClock::now();
    if (!self.queue.Push(*event)) {
      self.lost.store(true, std::memory_order_relaxed);
    }
  }
};

InputListing ListMidiInputs(const std::string& clientName) {
  InputListing listing;
  std::string rtmidiError;
  ForEachInput(clientName, listing.unavailable, rtmidiError,
               [&](std::unique_ptr<RtMidiIn>& /*in*/, const Entry& entry) {
                 listing.names.push_back(entry.name);
                 return false;
               });
  return listing;
}

MidiClockInput::MidiClockInput(Key /*key*/, std::string name, std::string clientName, int api)
    : name_(std::move(name)),
      clientName_(std::move(clientName)),
      api_(api),
      receiver_(std::make_unique<Receiver>()) {}

MidiClockInput::~MidiClockInput() = default;

Result<std::unique_ptr<MidiClockInput>> MidiClockInput::Open(const std::string& which,
                                                             const std::string& clientName) {
  const std::optional<unsigned> index = ParseIndex(which);
  std::vector<std::string> unavailable;
  std::string rtmidiError;
  unsigned seen = 0;
  std::unique_ptr<RtMidiIn> chosen;
  Entry entry;
  ForEachInput(clientName, unavailable, rtmidiError,
               [&](std::unique_ptr<RtMidiIn>& in, const Entry& candidate) {
                 if (index ? seen++ == *index : candidate.name == which) {
                   chosen = std::move(in);
                   entry = candidate;
                   return true;
                 }
                 return false;
               });
  if (!chosen) {
    std::string notListed;
    for (const std::string& reason : unavailable) {
      notListed += (notListed.empty() ? "" : "\n") + reason;
    }
    Error missing = Error::Of(index ? ErrorKind::kNoMidiInputNumber : ErrorKind::kNoMidiInputNamed,
                              which, notListed);
    missing.number = seen;
    return missing;
  }
  auto input =
      std::make_unique<MidiClockInput>(Key(), entry.name, clientName, static_cast<int>(entry.api));
#if defined(SONAVELA_HAVE_JACK)
  if (entry.api == RtMidi::UNIX_JACK) {
    // The lister's client goes first: the reader takes its name.
    chosen.reset();
    Result<std::unique_ptr<JackClockPort>> port = JackClockPort::Open(clientName, entry.name);
    if (!port) {
      return Error::Of(ErrorKind::kInputNotOpened, entry.name).Because(port.error());
    }
    input->jack_ = std::move(port).value();
    input->onJack_ = true;
    return input;
  }
#endif
  if (Status attached = input->receiver_->Attach(std::move(chosen), entry.port, entry.name);
      !attached) {
    return attached.error();
  }
  return input;
}

std::optional<ClockInputEvent> MidiClockInput::Next() {
#if defined(SONAVELA_HAVE_JACK)
  if (onJack_) {
    return jack_ ? jack_->Next() : std::nullopt;
  }
#endif
  Receiver& receiver = *receiver_;
  if (receiver.lost.exchange(false, std::memory_order_relaxed)) {
    return ClockInputEvent::Lost(midi::MidiClock::now());
  }
  const ClockInputEvent* front = receiver.queue.Front();
  if (front == nullptr) {
    return std::nullopt;
  }
  const ClockInputEvent event = *front;
  receiver.queue.Pop();
  return event;
}

bool MidiClockInput::Gone() {
#if defined(SONAVELA_HAVE_JACK)
  if (onJack_) {
    if (jack_ && !jack_->ServerGone()) {
      return jack_->SourceGone();
    }
    // A server started again under the same name, with the source on it,
    // takes a client of its own; the dead one goes first.
    jack_.reset();
    Result<std::unique_ptr<JackClockPort>> port = JackClockPort::Open(clientName_, name_);
    if (!port) {
      return true;
    }
    jack_ = std::move(port).value();
    return false;
  }
#endif
  RtMidiIn* in = receiver_->in.get();
  if (in == nullptr) {
    return !Reopen();
  }
  bool listed = false;
  const unsigned count = in->getPortCount();
  for (unsigned port = 0; port < count && !listed; ++port) {
    listed = in->getPortName(port) == name_;
  }
  if (!listed) {
    missing_ = true;
    return true;
  }
  if (missing_) {
    return !Reopen();
  }
  return false;
}

bool MidiClockInput::Reopen() {
  // The old client is closed first: the queue takes one producer at a time.
  receiver_->in.reset();
  missing_ = true;
  const auto api = static_cast<RtMidi::Api>(api_);
  if (!AbsenceOf(api, clientName_).empty()) {
    return false;
  }
  try {
    auto in = std::make_unique<RtMidiIn>(api, clientName_ + " clock");
    in->setErrorCallback(&midi::CollectRtMidiError, &receiver_->rtmidiError);
    const unsigned count = in->getPortCount();
    for (unsigned port = 0; port < count; ++port) {
      if (in->getPortName(port) == name_) {
        missing_ = !receiver_->Attach(std::move(in), port, name_).ok();
        return !missing_;
      }
    }
  } catch (const RtMidiError& /*error*/) {
    // Still missing; asked again later.
  }
  return false;
}

}  // namespace sonavela::timing
