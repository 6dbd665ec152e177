#include "catalogue/item_code.hpp"

#include <array>
#include <string>

#include "state/catalogue_types.hpp"
#include "catalogue/fatal.hpp"

namespace {

constexpr const char* msg_not_a_number = "hash problem, not a number";
constexpr const char* msg_wrong_header = "hash problem with wrong header.";
constexpr const char* msg_level_range = "hash problem";
constexpr const char* msg_number_range = "Please check hash function again\r\n";

/// A code has a header level and at most four further levels.
constexpr size_t cut_fields_max = 4;
constexpr uint32_t level_max = 31;
constexpr uint32_t level_base = 31;

bool all_digits(std::string_view field) {
    for (char c : field)
        if (c < '0' || c > '9') return false;
    return true;
}

/// The leading decimal digits of field (0 when there are none), held below 1000 so that
/// a long run of digits cannot overflow; anything that large is out of range anyway.
uint32_t level_value(std::string_view field) {
    uint32_t v = 0;
    for (char c : field) {
        if (c < '0' || c > '9') break;
        v = v * 10 + static_cast<uint32_t>(c - '0');
        if (v >= 1000) return 1000;
    }
    return v;
}

}  // namespace

int code_number(const run_context*, uint16_t& out, std::string_view code) {
    if (code.size() > code_max) catalogue_fatal(msg_level_range, 3);

    // Up to four fields that end at a ';' are cut off in turn and digit-checked; the rest,
    // further ';' included, is the last field.
    std::array<std::string_view, cut_fields_max + 1> fields;
    size_t cut = 0;
    std::string_view rest = code;
    while (cut < cut_fields_max) {
        size_t semi = rest.find(';');
        if (semi == std::string_view::npos) break;
        std::string_view field = rest.substr(0, semi);
        if (!all_digits(field)) catalogue_fatal(msg_not_a_number, 1);
        fields[cut++] = field;
        rest.remove_prefix(semi + 1);
    }
    fields[cut] = rest;

    if (fields[0] != "0") {
        std::string message = msg_wrong_header;
        message.append(fields[0]);
        message += "\r\n";
        catalogue_fatal(message, 2);
    }

    // Levels from the last one back to the second: the last has the weight 1.
    uint32_t number = 0;
    uint32_t weight = 1;
    for (size_t j = 0; j < cut; ++j) {
        uint32_t level = level_value(fields[cut - j]);
        if (level > level_max) catalogue_fatal(msg_level_range, 3);
        number += level * weight;
        if (number > item_number_max) catalogue_fatal(msg_number_range, 4);
        weight *= level_base;
    }
    out = static_cast<uint16_t>(number);
    return 0;
}

int item_number(const run_context& ctx, std::string_view code) {
    uint16_t n = 0;
    code_number(&ctx, n, code);
    return n;
}
