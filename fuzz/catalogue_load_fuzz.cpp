// Fuzzes the catalogue loader over arbitrary file contents: the input up to its first
// 0x1e byte is zelk_title.txt, the rest zelk_data.txt. A malformed catalogue ends the
// process (a defined outcome), so each input runs in a child of its own. A catalogue that
// loads must come out sorted, survive a save and a reload with every item kept, and give a
// run everything it builds before its first key.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "catalogue/catalogue_file.hpp"
#include "catalogue/menu_tables.hpp"
#include "console/run_context.hpp"
#include "fuzz/fork_run.hpp"

namespace {

constexpr char file_separator = '\x1e';

std::string scratch_dir;

bool write_file(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

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
            child_finding("a save and reload lost an item");
        }
        if (values.size() == 1 && it->second != values) {
            std::fprintf(stderr, "fuzz: the save changed the value of %s\n", shown(tag).c_str());
            child_finding("a save and reload changed a value");
        }
    }
    for (const auto& entry : after)
        if (!before.count(entry.first)) {
            std::fprintf(stderr, "fuzz: the save added the tag %s\n", shown(entry.first).c_str());
            child_finding("a save and reload added an item");
        }
}

void check_catalogue() {
    run_context ctx;
    current_context = &ctx;
    ctx.base_dir = scratch_dir;
    load_catalogue(ctx);

    // From here on the catalogue is known to be well formed: nothing may end the process
    // until the run's own lookups start.
    exits_are_findings(true);
    if (ctx.item_count != static_cast<int32_t>(ctx.items.size()))
        child_finding("item_count differs from the table");
    for (size_t k = 1; k < ctx.items.size(); ++k)
        if (compare_tags(ctx.items[k - 1].tag, ctx.items[k].tag) > 0)
            child_finding("the loaded table is not sorted");

    // Saving never loses an item, and what it writes loads again.
    const item_map loaded = items_of(ctx);
    for (auto& texts : ctx.file_texts) texts.clear();  // every item written anew
    unlink((scratch_dir + data_file_name).c_str());
    unlink((scratch_dir + title_file_name).c_str());
    save_catalogue(ctx);
    run_context again;
    again.base_dir = scratch_dir;
    load_catalogue(again);
    check_kept(loaded, items_of(again));
    exits_are_findings(false);

    // What a run builds before its first key; its value lookups may end the process when
    // the catalogue does not hold the number of items a run needs.
    count_menus(ctx);
    build_run_model(ctx);
    release_node_texts(ctx);
    current_context = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/catalogue_fuzz.XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("catalogue_load_fuzz: mkdtemp");
        std::abort();
    }
    scratch_dir = pattern + "/";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find(file_separator);
    const std::string title = input.substr(0, split);
    const std::string values = split == std::string::npos ? std::string() : input.substr(split + 1);
    if (!write_file(scratch_dir + title_file_name, title) ||
        !write_file(scratch_dir + data_file_name, values)) {
        std::perror("catalogue_load_fuzz: writing the catalogue");
        std::abort();
    }
    run_forked(check_catalogue);
    return 0;
}
