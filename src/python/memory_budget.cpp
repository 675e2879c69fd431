// The available-memory check behind large result arrays and solver workspaces.
#include "python/memory_budget.hpp"

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vendrel::python {
namespace {

// Below this size an allocation is served or refused by malloc itself, quickly either way.
constexpr std::uint64_t kCheckedFrom = std::uint64_t{256} << 20;

std::uint64_t available_bytes() noexcept {
    if (std::FILE* meminfo = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kib = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, meminfo) != nullptr) {
            if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
                found = true;
                break;
            }
        }
        std::fclose(meminfo);
        if (found) return static_cast<std::uint64_t>(kib) * 1024;
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return UINT64_MAX;  // unknown: leave it to malloc
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

}  // namespace

Result<void, PendingException> ensure_memory_for(std::uint64_t bytes) noexcept {
    if (bytes < kCheckedFrom || bytes <= available_bytes()) return {};
    PyErr_Format(PyExc_MemoryError, "%llu bytes requested, more than the memory available",
                 static_cast<unsigned long long>(bytes));
    return fail(PendingException{});
}

}  // namespace vendrel::python
