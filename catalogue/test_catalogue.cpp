#include "catalogue/test_catalogue.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "catalogue/catalogue_file.hpp"
#include "catalogue/menu_tables.hpp"

scratch_dir::scratch_dir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/catalogue_test.XXXXXX";
    if (!mkdtemp(templ.data())) std::abort();
    path = templ + "/";
}

scratch_dir::~scratch_dir() {
    for (const std::string& name : dir_files(path)) unlink((path + name).c_str());
    rmdir(path.c_str());
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> dir_files(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

void load_texts(run_context& ctx, const scratch_dir& dir, const std::string& title,
                const std::string& data) {
    write_text(dir.path + title_file_name, title);
    write_text(dir.path + data_file_name, data);
    ctx.base_dir = dir.path;
    load_catalogue(ctx);
}

std::string filler_values(int items) {
    std::string lines;
    for (int n = 0; n < items; ++n)
        lines += "v;" + std::to_string(30 - n / 32) + ";" + std::to_string(n % 32) + "=f\n";
    return lines;
}

void start_run(run_context& ctx, const scratch_dir& dir, const std::string& title,
               const std::string& data) {
    load_texts(ctx, dir, title, data);
    count_menus(ctx);
    build_run_model(ctx);
}

void mark_all_edited(run_context& ctx) {
    for (auto& texts : ctx.file_texts) texts.clear();
}
