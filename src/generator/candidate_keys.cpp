// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/candidate_keys.h"

#include "harmony/names.h"

namespace sonavela::generator {

namespace {

constexpr harmony::Interval kFifthUp{4, -1};
constexpr harmony::Interval kMinorThirdDown{-2, +1};

std::array<CandidateTonic, kCandidateRows> BuildTonics() {
  std::array<CandidateTonic, kCandidateRows> rows{};
  harmony::SpelledNote tonic{'G', -1};
  for (CandidateTonic& row : rows) {
    row.major = {tonic, harmony::kMajor};
    row.minor = {harmony::MoveByWholeTones(tonic, kMinorThirdDown), harmony::kMinor};
    tonic = harmony::MoveByWholeTones(tonic, kFifthUp);
  }
  return rows;
}

std::array<harmony::Key, kCandidateKeyCount> BuildKeys() {
  std::array<harmony::Key, kCandidateKeyCount> keys{};
  const auto& rows = CandidateTonics();
  for (std::size_t k = 0; k < kCandidateRows; ++k) {
    keys[2 * k] = rows[k].major;
    keys[2 * k + 1] = rows[k].minor;
  }
  return keys;
}

}  // namespace

const std::array<CandidateTonic, kCandidateRows>& CandidateTonics() {
  static const std::array<CandidateTonic, kCandidateRows> rows = BuildTonics();
  return rows;
}

const std::array<harmony::Key, kCandidateKeyCount>& CandidateKeys() {
  static const std::array<harmony::Key, kCandidateKeyCount> keys = BuildKeys();
  return keys;
}

int CandidateKeyIndex(harmony::Key key) {
  const auto& keys = CandidateKeys();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key)
      return static_cast<int>(i);
  }
  return -1;
}

std::optional<harmony::Key> CandidateKeyNamed(std::string_view name) {
  for (const harmony::Key key : CandidateKeys()) {
    if (harmony::KeyName(key) == name) {
      return key;
    }
  }
  return std::nullopt;
}

}  // namespace sonavela::generator
