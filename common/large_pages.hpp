// An allocator for arrays of many megabytes. Their memory starts on a 2 MiB
// boundary and is offered to the kernel for transparent huge pages, so the
// first touch of 250 MB costs about 125 page faults rather than 64 000; on a
// virtual machine each fault costs a microsecond or more of the program's own
// time. Smaller arrays come from the ordinary heap.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace gp {

inline constexpr size_t kLargePage = size_t{2} << 20;

template <class T>
struct LargePageAllocator {
  using value_type = T;

  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(const LargePageAllocator<U>&) {}

  T* allocate(size_t count) {
    if (count > (static_cast<size_t>(-1) - kLargePage) / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = count * sizeof(T);
    void* memory = nullptr;
    if (bytes >= kLargePage) {
      memory = std::aligned_alloc(kLargePage, (bytes + kLargePage - 1) / kLargePage * kLargePage);
      // Only advice: without huge pages the memory works as any other.
      if (memory != nullptr) (void)::madvise(memory, bytes, MADV_HUGEPAGE);
    } else {
      memory = std::malloc(bytes);
    }
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
