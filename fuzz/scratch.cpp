#include "fuzz/scratch.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

[[noreturn]] void fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "fuzz: cannot %s %s\n", what, path.c_str());
    std::abort();
}

}  // namespace

std::string make_scratch_folder(const char* prefix) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
    if (!mkdtemp(pattern.data())) fail("make", pattern);
    return pattern + "/";
}

std::string read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("read", path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_whole_file(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) fail("write", path);
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !ok) fail("write", path);
}

void discard_standard_output() {
    std::fflush(stdout);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) fail("open", "/dev/null");
    close(null_fd);
}
