// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/printable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonavela::generator {
namespace {

TEST(Printable, EscapesControlsAndBrokenUtf8AndKeepsTheRest) {
  struct Case {
    const char* name;
    std::string text;
    std::string shown;
  };
  const std::vector<Case> cases{
      {"plain ASCII", "rules.txt", "rules.txt"},
      {"Japanese", "\xE8\xA6\x8F\xE5\x89\x87.txt", "\xE8\xA6\x8F\xE5\x89\x87.txt"},
      {"accents and a four-byte emoji", "caf\xC3\xA9 \xF0\x9F\x8E\xB9",
       "caf\xC3\xA9 \xF0\x9F\x8E\xB9"},
      {"escape sequence", "a\x1b[31mred", "a\\x1b[31mred"},
      {"NUL, tab, LF, CR", std::string("\0\t\n\r", 4), "\\x00\\x09\\x0a\\x0d"},
      {"DEL", "x\x7fy", "x\\x7fy"},
      {"C1 CSI as UTF-8",
       "\xC2\x9b"
       "2J",
       "\\xc2\\x9b2J"},
      {"U+00A0 is no control", "\xC2\xA0", "\xC2\xA0"},
      {"stray continuation byte", "a\x80z", "a\\x80z"},
      {"Latin-1 byte", "caf\xE9", "caf\\xe9"},
      {"truncated sequence, resumed at the next byte", "\xE8\xA6z", "\\xe8\\xa6z"},
      {"overlong slash", "\xC0\xAF", "\\xc0\\xaf"},
      {"overlong three-byte", "\xE0\x80\xAF", "\\xe0\\x80\\xaf"},
      {"surrogate", "\xED\xA0\x80", "\\xed\\xa0\\x80"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"U+10FFFF itself", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"0xFF", "\xFF", "\\xff"},
      {"backslash stays", "a\\b", "a\\b"},
      {"empty", "", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Printable(c.text), c.shown) << c.name;
}

}  // namespace
}  // namespace sonavela::generator
