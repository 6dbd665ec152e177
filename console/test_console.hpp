// Shared pieces of the console tests: captured standard output and runs over a copy of the
// default catalogue.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "catalogue/test_catalogue.hpp"
#include "state/run_context.hpp"

/// What fn printed on standard output.
inline std::string capture_stdout(const std::function<void()>& fn) {
    std::fflush(stdout);
    FILE* tmp = std::tmpfile();
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(tmp), STDOUT_FILENO);
    fn();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string out;
    std::rewind(tmp);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, tmp)) > 0) out.append(buf, n);
    std::fclose(tmp);
    return out;
}

/// A scratch folder holding a copy of the default catalogue.
struct default_catalogue_dir : scratch_dir {
    default_catalogue_dir() {
        for (const char* name : {"zelk_title.txt", "zelk_data.txt"})
            write_text(path + name, read_text(std::string(DEFAULT_CATALOGUE_DIR) + name));
    }
    std::string data() const { return read_text(path + "zelk_data.txt"); }
    std::string titles() const { return read_text(path + "zelk_title.txt"); }
};
