// Memory for arrays of many megabytes: it starts on a 2 MiB boundary and is
// offered to the kernel for transparent huge pages, so the first touch of
// 250 MB costs about 125 page faults rather than 64 000; on a virtual machine
// each fault costs a microsecond or more of the program's own time.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

namespace gp {

inline constexpr size_t kLargePage = size_t{2} << 20;

// Uninitialised memory for `bytes` (> 0) bytes in whole huge pages, starting
// on one; given back with std::free. Throws std::bad_alloc.
inline void* large_page_memory(size_t bytes) {
  if (bytes > static_cast<size_t>(-1) - kLargePage) throw std::bad_alloc();
  const size_t whole = (bytes + kLargePage - 1) / kLargePage * kLargePage;
  void* memory = std::aligned_alloc(kLargePage, whole);
  if (memory == nullptr) throw std::bad_alloc();
  // Only advice: without huge pages the memory works as any other.
  (void)::madvise(memory, whole, MADV_HUGEPAGE);
  return memory;
}

struct FreeMemory {
  void operator()(void* memory) const { std::free(memory); }
};

// An array in large_page_memory.
template <class T>
using LargePageArray = std::unique_ptr<T[], FreeMemory>;

// For a vector: large_page_memory from 2 MiB on, the ordinary heap below.
template <class T>
struct LargePageAllocator {
  using value_type = T;

  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(const LargePageAllocator<U>&) {}

  T* allocate(size_t count) {
    if (count > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = count * sizeof(T);
    if (bytes >= kLargePage) return static_cast<T*>(large_page_memory(bytes));
    void* memory = std::malloc(bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return static_cast<T*>(memory);
  }
  void deallocate(T* memory, size_t) { std::free(memory); }

  template <class U>
  bool operator==(const LargePageAllocator<U>&) const {
    return true;
  }
};

}  // namespace gp
