// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Printable: text from outside the program (a file's bytes, a path, an
// argument) made safe to put into a message for a terminal, a log or a
// dialog.
//
// Valid UTF-8 passes unchanged, so Japanese text and accented names read as
// they are. Every byte that could move the cursor, ring, switch a terminal's
// mode or break the message's line is written as a backslash, "x" and two
// lowercase hex digits instead:
//   - the C0 controls U+0000 to U+001F (tab and line feed included: a message
//     is one line) and DEL U+007F, as their byte: "\x1b";
//   - the C1 controls U+0080 to U+009F, as the two bytes that encode them:
//     "\xc2\x9b";
//   - each byte that is not part of a valid UTF-8 sequence: a stray
//     continuation byte, a truncated sequence, an overlong form, a surrogate
//     or anything beyond U+10FFFF: "\xff".
// A backslash itself is left as it is: the result is for people to read, not
// for reading back.

#include <string>
#include <string_view>

namespace sonavela::generator {

[[nodiscard]] std::string Printable(std::string_view text);

}  // namespace sonavela::generator
