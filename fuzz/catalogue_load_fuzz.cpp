// Fuzzes the catalogue loader over arbitrary file contents: the input up to its first
// 0x1e byte is zelk_title.txt, the rest zelk_data.txt. A malformed catalogue ends the
// process (a defined outcome, unwound to here in the fuzz build). A catalogue that loads
// must come out sorted, survive a save and a reload with every item kept, and give a run
// everything it builds before its first key.
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "catalogue/catalogue_file.hpp"
#include "catalogue/menu_tables.hpp"
#include "state/run_context.hpp"
#include "fuzz/fatal_unwind.hpp"
#include "fuzz/scratch.hpp"

namespace {

constexpr char file_separator = '\x1e';

std::string scratch_dir;

/// The values of each tag.
using item_map = std::map<std::string, std::set<std::string>>;

item_map items_of(const run_context& ctx) {
    item_map out;
    for (const catalogue_item& item : ctx.items) out[item.tag].insert(item.value);
    return out;
}

/// The text C-escaped, for the report of a finding.
std::string shown(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7f && c != '\\') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            out += hex;
        }
    }
    return out;
}

/// Saving keeps every tag, and the value of every tag the catalogue holds once. (A tag
/// held more than once is outside the format: lookups find one of its items, and which
/// copies a save keeps is open.)
void check_kept(const item_map& before, const item_map& after) {
    for (const auto& [tag, values] : before) {
        auto it = after.find(tag);
        if (it == after.end()) {
            std::fprintf(stderr, "fuzz: the save lost the tag %s\n", shown(tag).c_str());
            finding("a save and reload lost an item");
        }
        if (values.size() == 1 && it->second != values) {
            std::fprintf(stderr, "fuzz: the save changed the value of %s\n", shown(tag).c_str());
            finding("a save and reload changed a value");
        }
    }
    for (const auto& entry : after)
        if (!before.count(entry.first)) {
            std::fprintf(stderr, "fuzz: the save added the tag %s\n", shown(entry.first).c_str());
            finding("a save and reload added an item");
        }
}

void check_catalogue(run_context& ctx) {
    ctx.base_dir = scratch_dir;
    if (ends_process([&] { load_catalogue(ctx); }, false)) return;

    // From here on the catalogue is known to be well formed: nothing may end the process
    // until the run's own lookups start.
    if (ctx.item_count != static_cast<int32_t>(ctx.items.size()))
        finding("item_count differs from the table");
    for (size_t k = 1; k < ctx.items.size(); ++k)
        if (compare_tags(ctx.items[k - 1].tag, ctx.items[k].tag) > 0)
            finding("the loaded table is not sorted");

    // Saving never loses an item, and what it writes loads again.
    const item_map loaded = items_of(ctx);
    run_context again;
    const bool ended = ends_process([&] {
        // Every item written anew: the run forgets what the files held, and they hold nothing.
        for (auto& texts : ctx.file_texts) texts.clear();
        write_whole_file(scratch_dir + data_file_name, "");
        write_whole_file(scratch_dir + title_file_name, "");
        save_catalogue(ctx);
        again.base_dir = scratch_dir;
        load_catalogue(again);
    }, false);
    if (ended) finding("a save or reload of a loaded catalogue ended the process");
    check_kept(loaded, items_of(again));

    // What a run builds before its first key; its value lookups may end the process when
    // the catalogue does not hold the number of items a run needs.
    ends_process([&] {
        count_menus(ctx);
        build_run_model(ctx);
        release_node_texts(ctx);
    }, false);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch_dir = make_scratch_folder("catalogue_fuzz");
    discard_standard_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find(file_separator);
    write_whole_file(scratch_dir + title_file_name, input.substr(0, split));
    write_whole_file(scratch_dir + data_file_name,
                     split == std::string::npos ? std::string() : input.substr(split + 1));
    run_context ctx;
    current_context = &ctx;
    check_catalogue(ctx);
    current_context = nullptr;
    return 0;
}
