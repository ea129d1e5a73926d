// Feeds the parameter test registry values of any type and size.
//
// Input: the first byte picks the value's type (or, at 0xFF, no value at
// all); the rest is the value's data. The test must agree with a plain
// reading of the rule (at most 256 bytes, searched up to the first NUL),
// close its key, and, under AddressSanitizer, read nothing past the bytes
// the query returned: the simulated query marks them unreadable.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "scanparam/scan_parameter.h"
#include "platform/simulated_windows.h"
#include "support/driver_key.h"

namespace {

using trevask_test::kDriverKey;
using trevask_test::kKeyword;
using trevask_test::kValueName;

int Expected(const uint8_t* data, size_t size)
{
    if (size > 256)
        return 0;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    return text.find(kKeyword) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size == 0)
        return 0;
    sim::Reset();
    const uint8_t* data = input + 1;
    size_t length = size - 1;
    bool hasValue = input[0] != 0xFF;
    if (hasValue)
        sim::SetRegistryValue(kDriverKey, kValueName,
                              sim::RegistryValue{DWORD(input[0] % 12), std::vector<uint8_t>(data, data + length)});
    else
        sim::SetRegistryValue(kDriverKey, "Other", sim::StringValue(""));

    int present = ScanParameterPresent();
    int expected = hasValue ? Expected(data, length) : 0;
    if (present != expected || sim::OpenKeyCount() != 0 || !sim::Faults().empty()) {
        std::fprintf(stderr, "value of %zu bytes: test gave %d, expected %d; keys open %d\n", length, present,
                     expected, sim::OpenKeyCount());
        std::abort();
    }
    sim::Reset();  // lifts the marks on the query buffer
    return 0;
}
