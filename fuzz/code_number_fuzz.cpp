// Fuzzes code_number over arbitrary item codes. A malformed code ends the process with
// status 1 to 4 and its message, a defined outcome (unwound to here in the fuzz build).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "state/catalogue_types.hpp"
#include "catalogue/item_code.hpp"
#include "fuzz/fatal_unwind.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view code(reinterpret_cast<const char*>(data), size);
    uint16_t number = 0xFFFF;
    if (ends_process([&] { code_number(nullptr, number, code); }, false)) return 0;
    // A code that passes is short enough and names a number within range.
    if (code.size() > code_max) finding("an overlong code passed");
    if (number > item_number_max) finding("a number above the largest passed");
    if (code.substr(0, code.find(';')) != "0") finding("a wrong header passed");
    return 0;
}
