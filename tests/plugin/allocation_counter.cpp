// SPDX-License-Identifier: GPL-3.0-or-later
#include "allocation_counter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define SONAVELA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SONAVELA_ASAN 1
#endif
#endif

namespace sonavela::plugin::testing {
namespace {

// Constant-initialised and local to the executable, so reading them inside
// the allocator allocates nothing and needs no lazy set-up.
thread_local Region gRegion = Region::kNone;
std::atomic<long> gCalls[3] = {0, 0, 0};

void Count() {
  if (gRegion != Region::kNone) {
    gCalls[static_cast<int>(gRegion)].fetch_add(1, std::memory_order_relaxed);
  }
}

}  // namespace

CountingRegion::CountingRegion(Region region) : previous_(gRegion) {
  gRegion = region;
}

CountingRegion::~CountingRegion() {
  gRegion = previous_;
}

long AllocatorCalls(Region region) {
  return gCalls[static_cast<int>(region)].load();
}

}  // namespace sonavela::plugin::testing

#ifdef SONAVELA_ASAN

// AddressSanitizer owns malloc here; replacing it would hand ASan memory it
// did not allocate, so its own hooks count instead.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*,
                                                                  std::size_t),
                                                         void (*)(const volatile void*));

namespace {

void OnMalloc(const volatile void*, std::size_t) {
  sonavela::plugin::testing::Count();
}

void OnFree(const volatile void* p) {
  if (p != nullptr) {
    sonavela::plugin::testing::Count();
  }
}

[[maybe_unused]] const int gHooksInstalled =
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);

}  // namespace

#else

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);

// glibc's own allocator does the work; these only count. A shared object
// loaded later binds to these definitions, as the executable comes first in
// the lookup order.
void* malloc(std::size_t size) noexcept {
  sonavela::plugin::testing::Count();
  return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
  sonavela::plugin::testing::Count();
  return __libc_calloc(count, size);
}

void* realloc(void* p, std::size_t size) noexcept {
  sonavela::plugin::testing::Count();
  return __libc_realloc(p, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  sonavela::plugin::testing::Count();
  return __libc_memalign(alignment, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
  sonavela::plugin::testing::Count();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
  sonavela::plugin::testing::Count();
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
    return EINVAL;
  }
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) {
    return ENOMEM;
  }
  *out = p;
  return 0;
}

// Freeing null is no work at all, and std:: containers that never held
// anything do it.
void free(void* p) noexcept {
  if (p != nullptr) {
    sonavela::plugin::testing::Count();
  }
  __libc_free(p);
}
}

#endif
