// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/printable.h"

#include <cstddef>

namespace sonavela::generator {

namespace {

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence at the start of `text`, 0 if there is
// none. The bounds of the second byte rule out overlong forms, surrogates and
// code points beyond U+10FFFF.
std::size_t SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high)
    return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i)))
      return 0;
  }
  return length;
}

bool IsControl(std::string_view sequence) {
  const auto lead = static_cast<unsigned char>(sequence[0]);
  if (sequence.size() == 1)
    return lead < 0x20 || lead == 0x7F;
  // U+0080..U+009F are encoded C2 80..C2 9F.
  return sequence.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

void AppendEscaped(std::string& out, unsigned char byte) {
  constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = SequenceLength(text);
    if (length == 0) {
      AppendEscaped(out, static_cast<unsigned char>(text[0]));
      text.remove_prefix(1);
      continue;
    }
    const std::string_view sequence = text.substr(0, length);
    if (IsControl(sequence)) {
      for (const char c : sequence)
        AppendEscaped(out, static_cast<unsigned char>(c));
    } else {
      out += sequence;
    }
    text.remove_prefix(length);
  }
  return out;
}

}  // namespace sonavela::generator
