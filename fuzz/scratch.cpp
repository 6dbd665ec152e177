#include "fuzz/scratch.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
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
    // Straight to the descriptor: the deep interpreter target writes a catalogue file
    // after every save, and a stream would allocate and fill a buffer each time.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) fail("write", path);
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n > 0) done += static_cast<size_t>(n);
        else if (n == 0 || errno != EINTR) fail("write", path);
    }
    if (close(fd) != 0) fail("write", path);
}

void discard_standard_output() {
    std::fflush(stdout);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) fail("open", "/dev/null");
    close(null_fd);
}
