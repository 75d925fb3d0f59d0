// quellot-call holds a list, its reports and a transcript of a million calls
// at once. Where Linux keeps huge pages for those who ask, every large block
// asks: it is touched page by page as it is filled, and a page fault for
// every 4 KiB can cost more than the calls themselves (on a virtual machine,
// say). Every operator new of the C++ library comes here (its array, sized
// and nothrow forms call these), so strings and vectors ask too.
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>

void *operator new(std::size_t size)
{
    void *const memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    constexpr std::size_t large = std::size_t{4} << 20;
    if (size >= large) {
        // The whole pages inside the block; the kernel backs every aligned
        // 2 MiB of them with one page when it is first touched.
        const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        const auto start = (reinterpret_cast<std::uintptr_t>(memory) + page - 1) & ~(page - 1);
        const auto end = (reinterpret_cast<std::uintptr_t>(memory) + size) & ~(page - 1);
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    }
    return memory;
}

void operator delete(void *memory) noexcept
{
    std::free(memory);
}

void operator delete(void *memory, std::size_t) noexcept
{
    std::free(memory);
}
#endif
