// Fuzzes the key interpreter in depth: the default catalogue is loaded once, and every
// input (laid out as console_harness.hpp has it) is interpreted as the key lines of a
// batch run on it, as apmenu --test=1 SCRIPT path=DIR runs them. As each run ends, the
// table is put back to its loaded state.
//
// The run takes every path of a console run but the load and what is built from the
// loaded table alone, which the link wraps:
//   - load_catalogue gives the run the loaded items and file texts (the previous run's,
//     put back);
//   - count_menus gives it the census the load made;
//   - build_run_model gives it the menu tables and value nodes that the previous run left
//     (copied from one build after an exit key, which releases them),
//     with the run state and the current menu set as a build sets them;
//   - context_start hands the tables back when the run ends, however it ends, and puts
//     back the values, the file texts and the node texts that the run changed.
// A save that replaces a catalogue file (rename) has that default file written again
// before the next input, so that every run reads back the files that it loaded.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue_file.hpp"
#include "catalogue/menu_tables.hpp"
#include "console/bridge.hpp"
#include "console/item_keys.hpp"
#include "state/run_context.hpp"
#include "fuzz/console_harness.hpp"
#include "fuzz/fatal_unwind.hpp"
#include "fuzz/scratch.hpp"

namespace {

/// Sleeps of a run before it counts as waiting for good. Four refreshes of a countdown
/// (over three and a half seconds of the simulated clock, which starts two seconds before
/// a minute ends) or four checks of a watch at its shortest interval take every branch
/// that a longer wait only repeats, and each repeat costs as much as a short input. (The
/// corpus of a minute's run with eight found no edge that two or four do not reach.)
constexpr unsigned sleep_budget = 4;
/// The engine's pause after each typed line (20 ms) is not a wait: the input's lines bound
/// those, so that every typed line of an input is interpreted.
constexpr unsigned line_pause_ms = 20;

std::string scratch_dir;
/// The default catalogue's files in the scratch folder.
struct default_file {
    std::string name;
    std::string text;
    /// True once a save has replaced the file since it was last written.
    bool replaced = true;
};
std::array<default_file, 2> default_files;
/// The table and the census of the one load.
run_context loaded;

/// What a run builds from the loaded table before its first key, kept between runs. The
/// tables point into their own vectors' storage, which moving a vector keeps in place.
struct run_model {
    bool built = false;
    uint16_t leaf_count = 0;
    value_node* node_list = nullptr;
    /// The node texts a build gives, in node order.
    std::vector<std::string> texts;
    /// The previous run's table and file texts, put back to the loaded ones for the next.
    std::vector<catalogue_item> items;
    std::array<held_texts, 2> file_texts;
    std::vector<menu_entry**> menu_entry_refs;
    std::vector<menu_entry*> menu_entry_tables;
    std::vector<uint8_t> menu_entry_counts;
    std::vector<std::string> menu_codes;
    std::vector<menu_desc> menu_descs;
    std::vector<value_node> nodes;
    std::vector<std::vector<menu_entry>> menu_entry_store;
};
run_model model;

/// Writes the default files that a save replaced.
void write_default_files() {
    for (default_file& file : default_files) {
        if (file.replaced) write_whole_file(scratch_dir + file.name, file.text);
        file.replaced = false;
    }
}

/// Moves the tables between a run and the kept model (either way).
template <class From, class To>
void move_tables(From& from, To& to) {
    to.menu_entry_refs = std::move(from.menu_entry_refs);
    to.menu_entry_tables = std::move(from.menu_entry_tables);
    to.menu_entry_counts = std::move(from.menu_entry_counts);
    to.menu_codes = std::move(from.menu_codes);
    to.menu_descs = std::move(from.menu_descs);
    to.nodes = std::move(from.nodes);
    to.menu_entry_store = std::move(from.menu_entry_store);
}

/// The n bytes at p and q are the same: eight at a time, and unchecked by
/// AddressSanitizer (same_text reads texts only within their size).
__attribute__((no_sanitize("address"))) bool same_bytes(const char* p, const char* q,
                                                       size_t n) {
    size_t k = 0;
    for (; k + sizeof(uint64_t) <= n; k += sizeof(uint64_t)) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, p + k, sizeof x);
        std::memcpy(&y, q + k, sizeof y);
        if (x != y) return false;
    }
    for (; k < n; ++k)
        if (p[k] != q[k]) return false;
    return true;
}

/// a == b, compared here rather than by memcmp: the fuzzer takes the operands of every
/// memcmp during an input as hints for its mutations, and the texts that the harness
/// compares (each input, every item) are not the input's.
bool same_text(const std::string& a, const std::string& b) {
    return a.size() == b.size() && same_bytes(a.data(), b.data(), a.size());
}

/// Puts the table and the file texts that a run leaves back to the loaded ones. Tags never
/// change (an item is only ever given a new value), so a value that differs is all there
/// is to mend; it gets a fresh copy, which frees the text that the run grew. Done before
/// the input ends, so that what the input allocated is freed within it and the fuzzer
/// finds no growth to search for leaks.
void restore_loaded(std::vector<catalogue_item>& items,
                    std::array<held_texts, 2>& file_texts) {
    if (items.size() != loaded.items.size()) {
        items = loaded.items;  // the run ended before its load
    } else {
        for (size_t k = 0; k < items.size(); ++k) {
            if (items[k].tag.size() != loaded.items[k].tag.size())
                finding("a run changed the tag of an item");
            if (!same_text(items[k].value, loaded.items[k].value))
                items[k].value = std::string(loaded.items[k].value);
        }
    }
    for (size_t slot = 0; slot < file_texts.size(); ++slot) {
        auto& texts = file_texts[slot];
        const auto& as_loaded = loaded.file_texts[slot];
        bool same = texts.size() == as_loaded.size();
        for (auto a = texts.begin(), b = as_loaded.begin(); same && a != texts.end(); ++a, ++b)
            same = a->tag.size() == b->tag.size() && a->held == b->held &&
                   same_text(a->value, b->value);
        if (!same) texts = as_loaded;
    }
}

/// Hands the run's tables back to the model when the run ends, by its exit key, the end
/// of its input or a fatal message. After the exit key they are released, and the model
/// is copied anew before the next input (within the input that released them, so that the
/// input frees about what the copy takes).
struct tables_back {
    run_context& ctx;
    ~tables_back() {
        // A run that ended before its load never took them.
        if (!ctx.items.empty()) model.items = std::move(ctx.items);
        if (!ctx.file_texts[0].empty() || !ctx.file_texts[1].empty())
            model.file_texts = std::move(ctx.file_texts);
        restore_loaded(model.items, model.file_texts);
        model.built = ctx.exited == 0 && !ctx.menu_descs.empty();
        if (!model.built) return;
        model.node_list = ctx.node_list;
        move_tables(ctx, model);
        for (size_t k = 0; k < model.nodes.size(); ++k) {  // the node texts a build gives
            std::unique_ptr<std::string>& text = model.nodes[k].text;
            if (!text) text = std::make_unique<std::string>(model.texts[k]);
            else if (!same_text(*text, model.texts[k])) *text = std::string(model.texts[k]);
        }
    }
};

}  // namespace

extern "C" {
int __real__Z14load_catalogueR11run_context(run_context& ctx);
int __real__Z11count_menusR11run_context(run_context& ctx);
int __real__Z15build_run_modelR11run_context(run_context& ctx);
int __real__Z13context_startR11run_contextRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(
    run_context& ctx, const std::string& script);
int __real_rename(const char* from, const char* to);

int __wrap__Z14load_catalogueR11run_context(run_context& ctx) {
    // The previous run's table and file texts, put back to the loaded ones as it ended.
    ctx.items = std::move(model.items);
    ctx.file_texts = std::move(model.file_texts);
    ctx.item_count = loaded.item_count;
    return 0;
}

int __wrap__Z11count_menusR11run_context(run_context& ctx) {
    ctx.menu_ids = loaded.menu_ids;
    ctx.menu_count = loaded.menu_count;
    ctx.menu_sizes = loaded.menu_sizes;
    ctx.tree_count = loaded.tree_count;
    ctx.leaf_count = loaded.leaf_count;
    ctx.max_entries = loaded.max_entries;
    return 0;
}

int __wrap__Z15build_run_modelR11run_context(run_context& ctx) {
    if (!model.built) finding("a run found no model of the loaded table");
    move_tables(model, ctx);
    model.built = false;
    ctx.menu_desc_ref = &ctx.menu_descs;
    ctx.leaf_count = model.leaf_count;
    reset_run_state(ctx, model.node_list);
    ctx.cur_entries = ctx.menu_descs[0].entries;
    ctx.cur_entry_count = ctx.menu_descs[0].count;
    return 0;
}

int __wrap__Z13context_startR11run_contextRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(
    run_context& ctx, const std::string& script) {
    tables_back guard{ctx};
    return __real__Z13context_startR11run_contextRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(
        ctx, script);
}

int __wrap_rename(const char* from, const char* to) {
    // The file that a save replaces, by its name (the path= option names the folder in a
    // form of its own); any other file renamed has both written again, to be safe.
    const char* slash = std::strrchr(to, '/');
    const char* name = slash ? slash + 1 : to;
    bool known = false;
    for (default_file& file : default_files)
        if (file.name == name) file.replaced = known = true;
    if (!known)
        for (default_file& file : default_files) file.replaced = true;
    return __real_rename(from, to);
}
}

namespace {

/// A run's build of the loaded table, made once and never run on: the model is copied
/// from it after an exit key.
run_context built;

/// The place in to's storage of a pointer into from's: the same element of the same
/// vector.
template <class T>
T* same_place(T* p, const std::vector<std::vector<T>>& from, std::vector<std::vector<T>>& to) {
    if (!p) return nullptr;
    for (size_t k = 0; k < from.size(); ++k)
        if (p >= from[k].data() && p < from[k].data() + from[k].size())
            return to[k].data() + (p - from[k].data());
    finding("a menu table points outside the menu entries");
}

template <class T>
T* same_place(T* p, const std::vector<T>& from, std::vector<T>& to) {
    if (!p) return nullptr;
    if (p < from.data() || p >= from.data() + from.size())
        finding("a menu table points outside its vector");
    return to.data() + (p - from.data());
}

/// The model: a copy of the built tables, every pointer pointing at the copy's own
/// storage. Copying costs a fraction of a build, which walks the table for every menu.
void copy_model() {
    model.menu_entry_store = built.menu_entry_store;
    model.menu_entry_counts = built.menu_entry_counts;
    model.menu_codes = built.menu_codes;
    model.menu_entry_tables.assign(built.menu_entry_tables.size(), nullptr);
    for (size_t k = 0; k < built.menu_entry_tables.size(); ++k)
        model.menu_entry_tables[k] =
            same_place(built.menu_entry_tables[k], built.menu_entry_store, model.menu_entry_store);
    model.menu_entry_refs.assign(built.menu_entry_refs.size(), nullptr);
    for (size_t k = 0; k < built.menu_entry_refs.size(); ++k)
        model.menu_entry_refs[k] =
            same_place(built.menu_entry_refs[k], built.menu_entry_tables, model.menu_entry_tables);
    model.menu_descs = built.menu_descs;
    for (menu_desc& desc : model.menu_descs)
        desc.entries = same_place(desc.entries, built.menu_entry_store, model.menu_entry_store);
    model.nodes.clear();
    model.nodes.resize(built.nodes.size());
    for (size_t k = 0; k < built.nodes.size(); ++k) {
        const value_node& from = built.nodes[k];
        value_node& to = model.nodes[k];
        to.number = from.number;
        if (from.text) to.text = std::make_unique<std::string>(*from.text);
        to.next = same_place(from.next, built.nodes, model.nodes);
    }
    model.node_list = same_place(built.node_list, built.nodes, model.nodes);
    model.built = true;
}

/// The run's build, as a run makes it before its first key.
void build_once() {
    built.base_dir = loaded.base_dir;
    entry_handler = handle_item_key;  // as a run sets it before its build
    built.items = loaded.items;
    built.file_texts = loaded.file_texts;
    built.item_count = loaded.item_count;
    __wrap__Z11count_menusR11run_context(built);
    __real__Z15build_run_modelR11run_context(built);
    model.leaf_count = built.leaf_count;
    for (const value_node& node : built.nodes)
        model.texts.push_back(node.text ? *node.text : std::string());
    model.items = built.items;
    model.file_texts = built.file_texts;
    copy_model();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch_dir = make_scratch_folder("key_lines_fuzz");
    const char* names[] = {title_file_name, data_file_name};
    for (size_t k = 0; k < default_files.size(); ++k) {
        default_files[k].name = names[k];
        default_files[k].text = read_whole_file(std::string(DEFAULT_CATALOGUE_DIR) + names[k]);
    }
    write_default_files();
    loaded.base_dir = scratch_dir;
    if (ends_process([] { __real__Z14load_catalogueR11run_context(loaded); }, false))
        finding("the default catalogue does not load");
    __real__Z11count_menusR11run_context(loaded);
    build_once();
    start_console_harness(sleep_budget, line_pause_ms);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const console_input input = split_console_input(data, size);
    write_default_files();
    prepare_console_run(input);
    ends_process([&] { run_batch(3, {"AAA", input.script, "path=" + scratch_dir}); }, true);
    finish_console_run();
    if (!model.built) copy_model();
    return 0;
}
