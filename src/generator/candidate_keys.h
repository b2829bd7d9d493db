// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "harmony/note.h"

namespace sonavela::generator {

inline constexpr std::size_t kCandidateRows = 16;
inline constexpr std::size_t kCandidateKeyCount = 2 * kCandidateRows;

// A major key of the circle of fifths and its relative minor.
struct CandidateTonic {
  harmony::Key major;
  harmony::Key minor;
};

// G flat major / E flat minor up by fifths to D sharp major / B sharp minor,
// spelled note by note, so enharmonic keys are distinct rows.
[[nodiscard]] const std::array<CandidateTonic, kCandidateRows>& CandidateTonics();

// The same 32 keys in the order the search tries them: row 0 major, row 0
// minor, row 1 major, ...
[[nodiscard]] const std::array<harmony::Key, kCandidateKeyCount>& CandidateKeys();

// The candidate key whose name (harmony::KeyName) is `name`.
[[nodiscard]] std::optional<harmony::Key> CandidateKeyNamed(std::string_view name);

// Position of `key` in CandidateKeys(), or -1 when it is none of them.
[[nodiscard]] int CandidateKeyIndex(harmony::Key key);

}  // namespace sonavela::generator
