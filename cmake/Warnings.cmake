# SPDX-License-Identifier: GPL-3.0-or-later
# Every target of the project links this to get the same strict warnings.
add_library(sonavela_warnings INTERFACE)
add_library(sonavela::warnings ALIAS sonavela_warnings)
target_compile_options(sonavela_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
