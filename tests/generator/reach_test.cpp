// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "generator/candidate_keys.h"
#include "generator/search.h"
#include "random_tables.h"
#include "reach_by_playing.h"

namespace sonavela::generator {
namespace {

std::set<std::string> Records(const std::vector<ProgressionStep>& steps) {
  std::set<std::string> records;
  for (const ProgressionStep& step : steps)
    records.insert(testing::RecordOf(step));
  return records;
}

void ExpectSameReach(const testing::RandomTables& tables, harmony::Key home,
                     const std::string& what) {
  const SearchTables searched{tables.connection, tables.substitution, home};
  std::set<std::string> heaviest;
  const ReachedStates played = testing::ReachByPlaying(searched, &heaviest);
  const ReachedStates found = ProgressionSearch().Reach(searched);
  ASSERT_FALSE(found.stopped);
  EXPECT_EQ(Records(found.steps), Records(played.steps)) << what;
  EXPECT_EQ(found.connectionDrawn, played.connectionDrawn) << what;
  EXPECT_EQ(found.substitutionDrawn, played.substitutionDrawn) << what;
  EXPECT_EQ(found.tonicStuck, played.tonicStuck) << what;
  ASSERT_EQ(found.traps.size(), played.traps.size()) << what;
  std::set<std::pair<std::string, std::vector<std::size_t>>> foundTraps;
  std::set<std::pair<std::string, std::vector<std::size_t>>> playedTraps;
  for (std::size_t i = 0; i < found.traps.size(); ++i) {
    foundTraps.insert({testing::RecordOf(found.traps[i].at), found.traps[i].ledInBy});
    playedTraps.insert({testing::RecordOf(played.traps[i].at), played.traps[i].ledInBy});
  }
  EXPECT_EQ(foundTraps, playedTraps) << what;
  // Only a sum past 32 bits is reported, and only then worked out exactly.
  if (played.heaviest > INT32_MAX) {
    EXPECT_EQ(found.heaviest, played.heaviest) << what;
    ASSERT_TRUE(found.heaviestAt.has_value()) << what;
    EXPECT_TRUE(heaviest.count(testing::RecordOf(*found.heaviestAt))) << what;
  } else {
    EXPECT_LE(found.heaviest, INT32_MAX) << what;
  }
}

// The fast reach against the progression's own search, state by state, on
// tables from the defaults with odd rules added, on random ones of growing
// size, and in home keys of both modes.
TEST(Reach, AgreesWithEveryStateTheSearchCanReach) {
  testing::RandomTableMaker maker(20261210);
  const std::vector<harmony::Key>& keys = {CandidateKeys()[12], CandidateKeys()[13],
                                           CandidateKeys()[7], CandidateKeys()[20]};
  for (int t = 0; t < 240; ++t) {
    testing::RandomTables tables;
    if (t % 3 == 0) {
      tables = maker.MakeFromDefaults(t % 7, t % 5);
    } else {
      const int size = 2 + t % 20;
      tables = maker.Make(size, size + t % 4);
    }
    if (t % 40 == 39) {
      // Weights that outgrow 32 bits in one choice.
      for (ConnectionRule& rule : tables.connection)
        rule.Weight = rule.Weight > 0 ? 2000000000 - t : rule.Weight;
    }
    ExpectSameReach(tables, keys[static_cast<std::size_t>(t) % keys.size()],
                    "table " + std::to_string(t));
  }
}

TEST(Reach, StopCutsItShort) {
  testing::RandomTableMaker maker(7);
  const testing::RandomTables tables = maker.Make(300, 300);
  int asked = 0;
  const ReachedStates reach = ProgressionSearch().Reach(
      {tables.connection, tables.substitution, CandidateKeys()[2]}, [&] { return ++asked > 3; });
  EXPECT_TRUE(reach.stopped);
  EXPECT_EQ(asked, 4);
}

}  // namespace
}  // namespace sonavela::generator
