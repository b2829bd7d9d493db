// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/result.h"
#include "midi/port/midi_message.h"

namespace sonavela::timing {

using midi::Timestamp;

// Where a transport stands at one moment.
struct TransportPosition {
  bool rolling = false;
  // The moment the position was taken (the start of a JACK cycle).
  Timestamp at{};
  // Beats since bar 1 beat 1.
  double beats = 0;
  double bpm = 0;
  // Whether a timebase master gave bar and beat; without one the beats are
  // counted from frame 0 at the fallback tempo.
  bool fromMaster = false;
  // How long a second of the transport's frames lasts on the program's
  // clock: a sound card (or the dummy driver) runs a little fast or slow,
  // and bars are counted in its frames.
  double timeScale = 1.0;
};

// The JACK transport as a client of its own ("<name>-transport") sees it.
// Bar, beat and tempo come from the timebase master's BBT where there is
// one; without one, beats are counted from frame 0 at `fallbackBpm`.
class JackTransport {
 public:
  // Fails ("no JACK server is running") when no server answers. A server is
  // never started.
  static Result<std::unique_ptr<JackTransport>> Connect(const std::string& clientName,
                                                        double fallbackBpm);
  ~JackTransport();
  JackTransport(const JackTransport&) = delete;
  JackTransport& operator=(const JackTransport&) = delete;

  // std::nullopt once the server has gone.
  [[nodiscard]] std::optional<TransportPosition> Read();

  struct Client;
  explicit JackTransport(std::unique_ptr<Client> client, double fallbackBpm);

 private:
  std::unique_ptr<Client> client_;
  double fallbackBpm_;
};

}  // namespace sonavela::timing
