// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/midi_printing.h"

#include <cstdio>

namespace sonavela::midi {

void PrintTo(const MidiMessage& message, std::ostream* out) {
  const char* separator = "";
  for (const std::uint8_t byte : message.Bytes()) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    *out << separator << hex;
    separator = " ";
  }
}

}  // namespace sonavela::midi
