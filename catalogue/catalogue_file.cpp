#include "catalogue/catalogue_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "catalogue/fatal.hpp"
#include "catalogue/item_code.hpp"
#include "console/run_context.hpp"

namespace {

constexpr const char* msg_cannot_read = "Can not open %s file";
constexpr const char* msg_cannot_write = "%s: %s";
constexpr const char* msg_cannot_write_text = "Can not open file.";
constexpr const char* msg_malformed_line = "%s: line %s: malformed catalogue line\n";
constexpr const char* msg_bad_class = "Should not run here\n";
constexpr const char* line_format = "%s=%s\n";

constexpr const char* title_header = "0;0";
constexpr const char* value_header = "0;1";

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

std::string catalogue_path(const run_context& ctx, const char* name) {
    return ctx.base_dir + name;
}

FILE* open_for_reading(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) catalogue_fatal(fill_format(msg_cannot_read, {path}), 1);
    return f;
}

/// The next line of f without its line feed; false at the end of the file. Only a line
/// feed is taken off: a last line without one keeps all its characters.
bool read_line(FILE* f, std::string& line) {
    line.clear();
    int c;
    while ((c = std::getc(f)) != EOF) {
        if (c == '\n') return true;
        line += static_cast<char>(c);
    }
    return !line.empty();
}

size_t count_item_lines(const std::string& path) {
    FILE* f = open_for_reading(path);
    size_t n = 0;
    std::string line;
    while (read_line(f, line))
        if (line.find('=') != std::string::npos) ++n;
    std::fclose(f);
    return n;
}

[[noreturn]] void malformed_line(const std::string& path, size_t line_no) {
    catalogue_fatal(fill_format(msg_malformed_line, {path, std::to_string(line_no)}), 1);
}

void read_items(const std::string& path, std::vector<catalogue_item>& items) {
    FILE* f = open_for_reading(path);
    std::string line;
    size_t line_no = 0;
    while (read_line(f, line)) {
        ++line_no;
        if (line.size() > catalogue_line_max) malformed_line(path, line_no);
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        catalogue_item item;
        item.tag = line.substr(0, eq);
        item.value = line.substr(eq + 1);
        if (item.tag.size() > tag_max) malformed_line(path, line_no);
        if (tag_sort_code(item.tag).size() > code_max) malformed_line(path, line_no);
        items.push_back(std::move(item));
    }
    std::fclose(f);
}

/// 0 for the title class, 1 for the value class; any other tag ends the process.
int sort_class(std::string_view tag) {
    char first = tag.empty() ? '\0' : tag[0];
    if (first == 'm' || first == 'n') return 0;
    if (first == 'v') return 1;
    catalogue_fatal(msg_bad_class, 1);
}

/// Replaces the file at path with content: a temporary file in the same folder is
/// written, flushed to the disk and renamed over it, so the old file stays whole until
/// the new one is complete. The old file's permissions are kept.
bool replace_file(const std::string& path, const std::string& content) {
    std::string tmp = path + ".XXXXXX";
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
    if (!ok) unlink(tmp.c_str());
    return ok;
}

bool belongs_to_data_file(std::string_view tag) { return has_flag(tag, 'v'); }

/// Menus without 'n' are kept here too, so that saving never loses an item.
bool belongs_to_title_file(std::string_view tag) {
    return has_flag(tag, 'n') || !has_flag(tag, 'v');
}

int save_file(run_context& ctx, uint8_t& saved, const char* name,
              bool (*belongs)(std::string_view tag)) {
    if (saved) return 0;
    std::string content;
    for (const catalogue_item& item : ctx.items)
        if (belongs(item.tag)) content += fill_format(line_format, {item.tag, item.value});
    const std::string path = catalogue_path(ctx, name);
    if (!replace_file(path, content))
        catalogue_fatal(fill_format(msg_cannot_write, {msg_cannot_write_text, path}), 1);
    saved = 1;
    return 0;
}

}  // namespace

std::string_view flag_field(std::string_view tag) {
    return tag.substr(0, tag.find(';'));
}

bool has_flag(std::string_view tag, char letter) {
    return flag_field(tag).find(letter) != std::string_view::npos;
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
    const std::string paths[] = {catalogue_path(ctx, title_file_name),
                                 catalogue_path(ctx, data_file_name)};
    size_t total = 0;
    for (const std::string& path : paths) total += count_item_lines(path);

    ctx.items.clear();
    ctx.items.reserve(total);
    for (const std::string& path : paths) read_items(path, ctx.items);
    // A stable sort keeps equal numbers (outside the format) in file order, so a load and
    // save of such a catalogue is still repeatable.
    std::stable_sort(ctx.items.begin(), ctx.items.end(),
                     [](const catalogue_item& a, const catalogue_item& b) {
                         return compare_tags(a.tag, b.tag) < 0;
                     });
    ctx.item_count = static_cast<int32_t>(ctx.items.size());
    return 0;
}

int compare_tags(std::string_view a, std::string_view b) {
    uint16_t na = 0;
    uint16_t nb = 0;
    code_number(nullptr, na, tag_sort_code(a));
    code_number(nullptr, nb, tag_sort_code(b));
    if (na != nb) return na < nb ? -1 : 1;
    int ca = sort_class(a);
    int cb = sort_class(b);
    if (ca != cb) return ca < cb ? -1 : 1;
    return 0;
}

int save_data_file(run_context& ctx) {
    return save_file(ctx, ctx.data_saved, data_file_name, belongs_to_data_file);
}

int save_title_file(run_context& ctx) {
    return save_file(ctx, ctx.title_saved, title_file_name, belongs_to_title_file);
}

int save_catalogue(run_context& ctx) {
    save_data_file(ctx);
    save_title_file(ctx);
    return 0;
}
