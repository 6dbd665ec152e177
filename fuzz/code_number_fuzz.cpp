// Fuzzes code_number over arbitrary item codes. A malformed code ends the process with
// status 1 to 4, a defined outcome, so each code runs in a child of its own.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "catalogue/catalogue_types.hpp"
#include "catalogue/item_code.hpp"
#include "fuzz/fork_run.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view code(reinterpret_cast<const char*>(data), size);
    run_forked([code] {
        uint16_t number = 0xFFFF;
        code_number(nullptr, number, code);
        // A code that passes is short enough and names a number within range.
        if (code.size() > code_max) child_finding("an overlong code passed");
        if (number > item_number_max) child_finding("a number above the largest passed");
        if (code.substr(0, code.find(';')) != "0") child_finding("a wrong header passed");
    });
    return 0;
}
