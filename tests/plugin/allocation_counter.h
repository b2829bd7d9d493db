// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Counts the heap allocations and releases made by this thread while a
// region is open, whoever makes them: the test executable replaces the C
// allocator's entry points (or, under AddressSanitizer, hooks its
// allocator), so calls from a plugin loaded with dlopen are counted too.
// operator new and delete reach the count through malloc and free.

namespace sonavela::plugin::testing {

enum class Region { kNone, kRealtime, kWorker };

// Opens `region` for this thread until destroyed; nests, restoring the
// region it found.
class CountingRegion {
 public:
  explicit CountingRegion(Region region);
  ~CountingRegion();
  CountingRegion(const CountingRegion&) = delete;
  CountingRegion& operator=(const CountingRegion&) = delete;

 private:
  Region previous_;
};

// Calls to malloc, calloc, realloc, the aligned allocators, and free of a
// pointer other than null, made inside `region` since the process started.
[[nodiscard]] long AllocatorCalls(Region region);

}  // namespace sonavela::plugin::testing
