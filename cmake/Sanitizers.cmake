# SPDX-License-Identifier: GPL-3.0-or-later
# AddressSanitizer + UndefinedBehaviorSanitizer for the whole tree; UB aborts
# so that a test run cannot pass over it.
add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
