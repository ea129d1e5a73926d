// Under AddressSanitizer, the simulated registry query marks the part of the
// caller's buffer past the returned bytes unreadable, so that code reading
// beyond what the query returned is caught at the faulting line.
#include "platform/sim_world.h"

#if defined(__SANITIZE_ADDRESS__)
#define TREVASK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TREVASK_ASAN 1
#endif
#endif
#ifdef TREVASK_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace sim {

// Lifts only the marks this simulation set, so that a buffer overrun by the
// program is still caught by the sanitizer.
void MarkWritable(const void* begin, size_t size)
{
    auto& poisoned = TheWorld().poisoned;
    auto* first = static_cast<const char*>(begin);
    for (auto it = poisoned.begin(); it != poisoned.end();) {
        auto* start = static_cast<const char*>(it->first);
        if (start < first + size && first < start + it->second) {
#ifdef TREVASK_ASAN
            ASAN_UNPOISON_MEMORY_REGION(it->first, it->second);
#endif
            it = poisoned.erase(it);
        } else {
            ++it;
        }
    }
}

void MarkUnreadable(const void* begin, size_t size)
{
#ifdef TREVASK_ASAN
    if (!size)
        return;
    ASAN_POISON_MEMORY_REGION(begin, size);
    TheWorld().poisoned.emplace_back(begin, size);
#else
    (void)begin;
    (void)size;
#endif
}

void ClearMarks()
{
#ifdef TREVASK_ASAN
    for (const auto& [begin, size] : TheWorld().poisoned)
        ASAN_UNPOISON_MEMORY_REGION(begin, size);
#endif
    TheWorld().poisoned.clear();
}

}  // namespace sim
