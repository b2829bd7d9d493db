// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "base/result.h"

namespace sonavela {

// What a failed call says, in English; empty when it succeeded.
template <typename T>
[[nodiscard]] std::string Why(const Result<T>& result) {
  return result ? std::string() : EnglishText(result.error());
}

}  // namespace sonavela

// A call that must succeed; the failure says why.
#define EXPECT_OK(call)                                 \
  do {                                                  \
    const auto& sonavelaResult = (call);                \
    EXPECT_TRUE(sonavelaResult) << Why(sonavelaResult); \
  } while (false)
#define ASSERT_OK(call)                                 \
  do {                                                  \
    const auto& sonavelaResult = (call);                \
    ASSERT_TRUE(sonavelaResult) << Why(sonavelaResult); \
  } while (false)
