// The memory of the relay's connections, kept for the next ones.
//
// libmicrohttpd gives every connection a region of its own, RelayServer::
// ConnectionMemory bytes, and maps a fresh one from the kernel whenever that is
// more than 32 KiB, as ours must be to take a whole head at the cap and still
// answer it. Unmapping it again when the connection ends makes the kernel stop
// every other thread of the relay to forget the pages (an interrupt to each core
// it ran on), and the next connection faults fresh zeroed pages in: together
// more than half of what a new connection costs the relay.
//
// So the program itself answers the library's mmap and munmap calls for regions
// of exactly that size: a region given back is kept (up to KeptAtMost of them)
// and handed, zeroed, to the next connection. Only regions handed out here are
// ever kept; every other call, and everything else in the process (the C
// library's own allocations never come through here), goes to the kernel as
// before. Not built for the sanitizers, which watch these calls themselves,
// nor outside 64-bit Linux.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORVAN_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KORVAN_SANITIZED
#endif
#endif

// The kernel's own calls below take a byte offset as 64-bit Linux does.
#if defined(__linux__) && defined(__LP64__) && !defined(KORVAN_SANITIZED)
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "tools/relay/relay_server.h"

namespace {

constexpr size_t KeptAtMost = 256;  // 10 MiB of connection memory at most

// The connection's memory as the library asks for it: in whole pages.
size_t RegionBytes() {
    static const size_t bytes = [] {
        const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        return (korvan::RelayServer::ConnectionMemory + page - 1) / page * page;
    }();
    return bytes;
}

struct Regions {
    std::mutex Lock;
    std::unordered_set<void*> Ours;  // handed out here, in use or kept
    std::vector<void*> Kept;
};

Regions& TheRegions() {
    static Regions* regions = new Regions;  // never destroyed: calls may come at exit
    return *regions;
}

void* KernelMap(void* at, size_t bytes, int protection, int flags, int fd, off_t offset) {
    return reinterpret_cast<void*>(syscall(SYS_mmap, at, bytes, protection, flags, fd, offset));
}

}  // namespace

extern "C" void* mmap(void* at, size_t bytes, int protection, int flags, int fd, off_t offset) {
    if (at != nullptr || fd != -1 || offset != 0 || bytes != RegionBytes() ||
        protection != (PROT_READ | PROT_WRITE) || flags != (MAP_PRIVATE | MAP_ANONYMOUS))
        return KernelMap(at, bytes, protection, flags, fd, offset);
    Regions& regions = TheRegions();
    void* kept = nullptr;
    {
        std::lock_guard<std::mutex> lock(regions.Lock);
        if (!regions.Kept.empty()) {
            kept = regions.Kept.back();
            regions.Kept.pop_back();
        }
    }
    // Zeroed, as a region fresh from the kernel is: whoever asked may count on it.
    if (kept != nullptr) return std::memset(kept, 0, bytes);
    void* region = KernelMap(nullptr, bytes, protection, flags, -1, 0);
    if (region == MAP_FAILED) return region;
    std::lock_guard<std::mutex> lock(regions.Lock);
    regions.Ours.insert(region);
    return region;
}

extern "C" int munmap(void* at, size_t bytes) {
    if (bytes == RegionBytes()) {
        Regions& regions = TheRegions();
        std::lock_guard<std::mutex> lock(regions.Lock);
        const auto ours = regions.Ours.find(at);
        if (ours != regions.Ours.end()) {
            if (regions.Kept.size() < KeptAtMost) {
                regions.Kept.push_back(at);
                return 0;
            }
            regions.Ours.erase(ours);
        }
    }
    return static_cast<int>(syscall(SYS_munmap, at, bytes));
}
#endif
