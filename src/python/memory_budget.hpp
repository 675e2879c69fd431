// Refusing, before any work, requests whose memory the machine does not have.
#pragma once

#include <cstdint>

#include "common/result.hpp"
#include "python/numpy_intake.hpp"

namespace vendrel::python {

/// MemoryError when `bytes` exceed the memory the system reports as available. Large allocations
/// succeed lazily on Linux and would only fail (or wake the OOM killer) once gigabytes have been
/// written; asking first makes an impossible request fail at once. Small requests skip the check.
[[nodiscard]] Result<void, PendingException> ensure_memory_for(std::uint64_t bytes) noexcept;

}  // namespace vendrel::python
