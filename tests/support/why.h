// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "base/notice.h"
#include "base/result.h"

namespace sonavela {

// What a failed call says, in English; empty when it succeeded.
template <typename T>
[[nodiscard]] std::string Why(const Result<T>& result) {
  return result ? std::string() : EnglishText(result.error());
}

// What a notice says in English; empty when there was none.
[[nodiscard]] inline std::string Told(const std::optional<Notice>& notice) {
  return notice ? EnglishText(*notice) : std::string();
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
