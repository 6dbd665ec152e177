#include "catalogue/catalogue_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>

#include "catalogue/fatal.hpp"
#include "catalogue/item_code.hpp"
#include "state/run_context.hpp"

namespace {

constexpr const char* msg_cannot_read = "Can not open %s file";
constexpr const char* msg_cannot_write = "%s: %s";
constexpr const char* msg_cannot_write_text = "Can not open file.";
constexpr const char* msg_malformed_line = "%s: line %s: malformed catalogue line\n";
constexpr const char* msg_bad_class = "Should not run here\n";
constexpr const char* line_format = "%s=%s\n";

constexpr const char* title_header = "0;0";
constexpr const char* value_header = "0;1";

/// Slots of run_context::file_texts.
constexpr size_t title_slot = 0;
constexpr size_t data_slot = 1;
constexpr const char* file_names[] = {title_file_name, data_file_name};

/// mkstemp's pattern after a file's name: its temporary files are the name, '.' and six
/// characters.
constexpr const char* temp_pattern = ".XXXXXX";
constexpr size_t temp_pattern_len = 7;
constexpr const char* current_folder = ".";

/// format with each "%s" replaced, in turn, by the next of texts.
std::string fill_format(std::string_view format, std::initializer_list<std::string_view> texts) {
    std::string out;
    auto next = texts.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' &&
            next != texts.end()) {
            out.append(*next++);
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

/// Item number order of items: the one ordering of the load and of the save.
struct by_tag_order {
    bool operator()(const catalogue_item& a, const catalogue_item& b) const {
        return a.order_key < b.order_key;
    }
};

/// Sorts items into item number order, keeping equal numbers in the order they have. The
/// items come as a few runs already in order (a load's two files, a file another run
/// wrote), so each pass merges neighbouring runs: a load takes one pass, a save of a file
/// in order none. Much smaller code than the library's stable sort, which is tuned for
/// input in no order at all.
void sort_by_tag_order(std::vector<catalogue_item>& items) {
    const by_tag_order before;
    std::vector<catalogue_item> merged;
    while (!std::is_sorted(items.begin(), items.end(), before)) {
        merged.clear();
        merged.reserve(items.size());
        for (auto first = items.begin(); first != items.end();) {
            const auto middle = std::is_sorted_until(first, items.end(), before);
            const auto last = std::is_sorted_until(middle, items.end(), before);
            // On equal numbers merge takes the first run's item first: the sort is stable.
            std::merge(std::make_move_iterator(first), std::make_move_iterator(middle),
                       std::make_move_iterator(middle), std::make_move_iterator(last),
                       std::back_inserter(merged), before);
            first = last;
        }
        items.swap(merged);
    }
}

std::string catalogue_path(const run_context& ctx, const char* name) {
    return ctx.base_dir + name;
}

struct file_closer {
    void operator()(FILE* f) const { std::fclose(f); }
};
/// A file being read, closed however the reading ends.
using file_handle = std::unique_ptr<FILE, file_closer>;

/// The open file; one that cannot be opened ends the process, unless it does not exist
/// and absent_ok is set (then null).
file_handle open_for_reading(const std::string& path, bool absent_ok = false) {
    file_handle f(std::fopen(path.c_str(), "rb"));
    if (!f && !(absent_ok && errno == ENOENT))
        catalogue_fatal(fill_format(msg_cannot_read, {path}), 1);
    return f;
}

/// The next line of f without its line feed; false at the end of the file. Only a line
/// feed is taken off: a last line without one keeps all its characters.
bool read_line(FILE* f, std::string& line) {
    line.clear();
    int c;
    while ((c = getc_unlocked(f)) != EOF) {  // the stream is this call's alone
        if (c == '\n') return true;
        line += static_cast<char>(c);
    }
    return !line.empty();
}

size_t count_item_lines(const std::string& path) {
    file_handle f = open_for_reading(path);
    size_t n = 0;
    std::string line;
    while (read_line(f.get(), line))
        if (line.find('=') != std::string::npos) ++n;
    return n;
}

int sort_class(std::string_view tag);

/// tag_order_key of tag, whose tag_sort_code is sort_code.
uint32_t order_key_of(std::string_view tag, std::string_view sort_code) {
    uint16_t number = 0;
    code_number(nullptr, number, sort_code);
    return static_cast<uint32_t>(number) * 2 + static_cast<uint32_t>(sort_class(tag));
}

[[noreturn]] void malformed_line(const std::string& path, size_t line_no) {
    catalogue_fatal(fill_format(msg_malformed_line, {path, std::to_string(line_no)}), 1);
}

/// Appends the items of the file at path; a missing file adds none when absent_ok is set.
/// known, when given, holds tags whose keys are known already, in the order that the file
/// most likely has them (as the run last read or wrote it): a line whose tag is the next
/// of them takes its key, and only the others are worked out (and so checked).
void read_items(const std::string& path, std::vector<catalogue_item>& items,
                bool absent_ok = false, const held_texts* known = nullptr) {
    file_handle f = open_for_reading(path, absent_ok);
    if (!f) return;
    std::string line;
    size_t line_no = 0;
    size_t next_known = 0;
    while (read_line(f.get(), line)) {
        ++line_no;
        if (line.size() > catalogue_line_max) malformed_line(path, line_no);
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        catalogue_item item;
        item.tag = line.substr(0, eq);
        item.value = line.substr(eq + 1);
        if (!known || !known->key_at(next_known, item.tag, item.order_key)) {
            if (item.tag.size() > tag_max) malformed_line(path, line_no);
            const std::string sort_code = tag_sort_code(item.tag);
            if (sort_code.size() > code_max) malformed_line(path, line_no);
            // Every tag's number is worked out (and so checked) here, once: sorts and
            // lookups compare the keys.
            item.order_key = order_key_of(item.tag, sort_code);
        }
        items.push_back(std::move(item));
    }
}

/// 0 for the title class, 1 for the value class; any other tag ends the process.
int sort_class(std::string_view tag) {
    char first = tag.empty() ? '\0' : tag[0];
    if (first == 'm' || first == 'n') return 0;
    if (first == 'v') return 1;
    catalogue_fatal(msg_bad_class, 1);
}

/// An exclusive advisory lock on the catalogue folder itself (flock on the folder), held
/// by a save from re-reading its file until the new one has been renamed over it. The
/// folder stays the same object while its files are replaced, and locking it adds no file
/// to it, so it works as well where the folder cannot be written.
struct folder_lock {
    int fd = -1;

    explicit folder_lock(const std::string& dir) {
        fd = open(dir.empty() ? current_folder : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        int rc;
        while ((rc = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (rc != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~folder_lock() {
        if (fd >= 0) close(fd);  // closing releases the lock
    }
    folder_lock(const folder_lock&) = delete;
    folder_lock& operator=(const folder_lock&) = delete;
};

/// Removes the temporary files that a save killed part-way left in dir. Called with the
/// folder lock held: every save writes its temporary file under that lock, so none of
/// these is still being written.
void remove_stale_temp_files(const std::string& dir) {
    DIR* d = opendir(dir.empty() ? current_folder : dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const std::string_view name = e->d_name;
        for (std::string_view file : file_names) {
            if (name.size() == file.size() + temp_pattern_len &&
                name.substr(0, file.size()) == file && name[file.size()] == temp_pattern[0])
                unlink((dir + std::string(name)).c_str());
        }
    }
    closedir(d);
}

/// Replaces the file at path with content: a temporary file in the same folder is
/// written, flushed to the disk and renamed over it, so the old file stays whole until
/// the new one is complete. The old file's permissions are kept. folder_fd, the open
/// folder, is flushed after the rename so that the new name outlasts a power cut.
bool replace_file(const std::string& path, const std::string& content, int folder_fd) {
    std::string tmp = path + temp_pattern;
    int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    struct stat st;
    mode_t mode = stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    fchmod(fd, mode);  // a failure leaves the temporary file's own mode, still usable
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        unlink(tmp.c_str());
        return false;
    }
    bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(tmp.c_str());
        return false;
    }
    fsync(folder_fd);  // the file itself is complete; a failure here loses nothing yet
    return true;
}

bool belongs_to_data_file(std::string_view tag) { return has_flag(tag, 'v'); }

/// Menus without 'n' are kept here too, so that saving never loses an item.
bool belongs_to_title_file(std::string_view tag) {
    return has_flag(tag, 'n') || !has_flag(tag, 'v');
}

using belongs_test = bool (*)(std::string_view tag);

/// A file that could not be written. A run whose saves report their failures shows the
/// message (at once, or held for the interactive console's next screen) and goes
/// on with its edits; any other run ends here, and its caller learns that nothing was
/// stored. Returns -1.
int write_failed(run_context& ctx, const std::string& path) {
    const std::string message = fill_format(msg_cannot_write, {msg_cannot_write_text, path});
    if (ctx.saves != save_mode::report_failure && ctx.saves != save_mode::report_on_screen)
        catalogue_fatal(message, 1);
    ctx.save_failed = true;
    if (ctx.saves == save_mode::report_on_screen) {
        ctx.notice = message + "\n";
    } else {
        std::fputs((message + "\n").c_str(), stdout);
        std::fflush(stdout);
    }
    return -1;
}

/// True when the run changed item since the file at slot was last read or written. cursor
/// walks the file's held texts (held_texts::find).
bool is_own_edit(const run_context& ctx, size_t slot, const catalogue_item& item,
                 size_t& cursor) {
    const std::string* held = ctx.file_texts[slot].find(item, cursor);
    return !held || *held != item.value;
}

/// True when the run holds an edit of its own for the file at slot, or an item the file
/// held belongs to the other file (it moves there).
bool has_own_edits(const run_context& ctx, size_t slot, belongs_test belongs) {
    size_t cursor = 0;
    for (const catalogue_item& item : ctx.items)
        if (belongs(item.tag) && is_own_edit(ctx, slot, item, cursor)) return true;
    for (const held_text& held : ctx.file_texts[slot])
        if (held.held && !belongs(held.tag)) return true;
    return false;
}

/// The items of one file as this run saves it: the file's current items (on_disk) that
/// belong to it, with the run's own edits put over them, and the run's items that belong
/// to it but are not there yet (moved in from the other file); in item number order.
/// changed is set when that differs from what the file holds: an own edit whose text the
/// file does not hold, or an item the file lacks.
std::vector<catalogue_item> merged_items(const run_context& ctx, size_t slot,
                                         belongs_test belongs,
                                         std::vector<catalogue_item> on_disk, bool& changed) {
    // The run's items of this file, each tag once (its first item), in the run's order,
    // which is item number order: a file item finds its run item by a binary search of
    // its key and then by its tag among the few items of the same number.
    struct own_item {
        const catalogue_item* item;
        bool met;  ///< found in the file, or added to the output
    };
    std::vector<own_item> own;
    auto same_tag_before = [&own](const catalogue_item& item) {
        for (auto k = own.rbegin(); k != own.rend() && k->item->order_key == item.order_key; ++k)
            if (k->item->tag == item.tag) return true;
        return false;
    };
    for (const catalogue_item& item : ctx.items)
        if (belongs(item.tag) && !same_tag_before(item)) own.push_back({&item, false});
    // A file in item order meets the run's items in turn: the one after the last found
    // is tried before the search.
    size_t next_own = 0;
    auto find_own = [&own, &next_own](const catalogue_item& item) -> own_item* {
        if (next_own < own.size() && own[next_own].item->order_key == item.order_key &&
            own[next_own].item->tag == item.tag)
            return &own[next_own++];
        auto it = std::lower_bound(own.begin(), own.end(), item.order_key,
                                   [](const own_item& o, uint32_t key) {
                                       return o.item->order_key < key;
                                   });
        for (; it != own.end() && it->item->order_key == item.order_key; ++it)
            if (it->item->tag == item.tag) {
                next_own = static_cast<size_t>(it - own.begin()) + 1;
                return &*it;
            }
        return nullptr;
    };

    changed = false;
    std::vector<catalogue_item> out;
    out.reserve(on_disk.size() + own.size());
    size_t cursor = 0;
    for (catalogue_item& item : on_disk) {
        if (!belongs(item.tag)) {  // the other file's: written there
            changed = true;
            continue;
        }
        // A tag the file repeats meets its run item once; later copies stay as they are.
        own_item* match = find_own(item);
        if (match && !match->met) {
            if (is_own_edit(ctx, slot, *match->item, cursor) &&
                item.value != match->item->value) {
                item.value = match->item->value;
                changed = true;
            }
            match->met = true;
        }
        out.push_back(std::move(item));
    }
    for (const own_item& entry : own) {
        if (entry.met) continue;
        out.push_back(*entry.item);
        changed = true;
    }
    sort_by_tag_order(out);
    return out;
}

/// Writes one file (slot, belongs) when the run's own edits change what it holds: under
/// the folder lock, the file is read again and the run's own edits are written over what
/// it holds now. A run without edits, or whose edits the file already holds, leaves the
/// file as it is (not even rewritten). A file read again that cannot be loaded ends the
/// process as the loader does, and stays as it is; a missing file is written anew.
int save_file(run_context& ctx, size_t slot, belongs_test belongs) {
    if (ctx.saves == save_mode::never) return 0;
    ctx.save_failed = false;
    if (!has_own_edits(ctx, slot, belongs)) return 0;
    const std::string path = catalogue_path(ctx, file_names[slot]);
    folder_lock lock(ctx.base_dir);
    if (lock.fd < 0) return write_failed(ctx, path);
    remove_stale_temp_files(ctx.base_dir);

    std::vector<catalogue_item> on_disk;
    on_disk.reserve(ctx.items.size());  // the file holds about as many: no regrowth
    read_items(path, on_disk, true, &ctx.file_texts[slot]);
    bool changed = false;
    const std::vector<catalogue_item> items =
        merged_items(ctx, slot, belongs, std::move(on_disk), changed);
    if (changed) {
        std::string content;
        for (const catalogue_item& item : items)
            content += fill_format(line_format, {item.tag, item.value});
        if (!replace_file(path, content, lock.fd)) return write_failed(ctx, path);
    }

    auto& texts = ctx.file_texts[slot];
    size_t cursor = 0;
    for (const catalogue_item& item : ctx.items)
        if (belongs(item.tag)) texts.hold(item, cursor);
    return 0;
}

}  // namespace

bool has_flag(std::string_view tag, char letter) {
    // The flag field is a letter or two: a plain walk, called for every item of a save.
    for (char c : tag) {
        if (c == ';') return false;
        if (c == letter) return true;
    }
    return false;
}

std::string tag_item_code(std::string_view tag) {
    size_t semi = tag.find(';');
    std::string code = "0";
    if (semi != std::string_view::npos) code.append(tag.substr(semi));
    return code;
}

std::string tag_sort_code(std::string_view tag) {
    std::string code = sort_class(tag) == 0 ? title_header : value_header;
    size_t semi = tag.find(';');
    if (semi != std::string_view::npos) code.append(tag.substr(semi));
    return code;
}

int load_catalogue(run_context& ctx) {
    const std::string paths[] = {catalogue_path(ctx, file_names[title_slot]),
                                 catalogue_path(ctx, file_names[data_slot])};
    size_t total = 0;
    for (const std::string& path : paths) total += count_item_lines(path);

    ctx.items.clear();
    ctx.items.reserve(total);
    for (size_t slot = 0; slot < 2; ++slot) {
        const size_t first = ctx.items.size();
        read_items(paths[slot], ctx.items);
        auto& texts = ctx.file_texts[slot];
        texts.clear();
        for (size_t k = first; k < ctx.items.size(); ++k)
            texts.hold_first(ctx.items[k]);
    }
    // A stable sort keeps equal numbers (outside the format) in file order, so a load and
    // save of such a catalogue is still repeatable.
    sort_by_tag_order(ctx.items);
    ctx.item_count = static_cast<int32_t>(ctx.items.size());
    return 0;
}

uint32_t tag_order_key(std::string_view tag) {
    return order_key_of(tag, tag_sort_code(tag));
}

int compare_tags(std::string_view a, std::string_view b) {
    const uint32_t ka = tag_order_key(a);
    const uint32_t kb = tag_order_key(b);
    return ka == kb ? 0 : ka < kb ? -1 : 1;
}

int save_data_file(run_context& ctx) {
    return save_file(ctx, data_slot, belongs_to_data_file);
}

int save_title_file(run_context& ctx) {
    return save_file(ctx, title_slot, belongs_to_title_file);
}

int save_catalogue(run_context& ctx) {
    if (save_data_file(ctx) != 0) return -1;
    return save_title_file(ctx);
}
