# SPDX-License-Identifier: GPL-3.0-or-later
# ThreadSanitizer, for the code that shares the synthesizer with the threads
# of its audio drivers. It does not model standalone fences (GCC warns where
# the JACK timeline's seqlock uses them), and what it checks here does not
# go through that seqlock.
add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -Wno-tsan)
add_link_options(-fsanitize=thread)
