#include "fuzz/fork_run.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The fuzzer's inline 8-bit coverage counters, bounded by linker-made symbols, and the
// hooks of the sanitizer runtime and of the linker's --wrap=_exit.
extern "C" {
extern uint8_t __start___sancov_cntrs[] __attribute__((weak, visibility("hidden")));
extern uint8_t __stop___sancov_cntrs[] __attribute__((weak, visibility("hidden")));
void __sanitizer_set_death_callback(void (*callback)(void));
[[noreturn]] void __real__exit(int status);
[[noreturn]] void __wrap__exit(int status);
}

namespace {

/// Counters of the child, in memory that the parent shares.
uint8_t* shared_counters = nullptr;
bool in_child = false;
bool exit_is_finding = false;

size_t counter_bytes() {
    if (!__start___sancov_cntrs || !__stop___sancov_cntrs) return 0;
    return static_cast<size_t>(__stop___sancov_cntrs - __start___sancov_cntrs);
}

void hand_back_counters() {
    if (in_child && shared_counters)
        std::memcpy(shared_counters, __start___sancov_cntrs, counter_bytes());
}

/// The child's counters started as a copy of the parent's, so the larger of the two is
/// what the input reached.
void take_child_counters() {
    if (!shared_counters) return;
    const size_t n = counter_bytes();
    for (size_t k = 0; k < n; ++k)
        if (shared_counters[k] > __start___sancov_cntrs[k])
            __start___sancov_cntrs[k] = shared_counters[k];
}

/// The sanitizer's death callback in the child, after its report: a signal the parent sees.
[[noreturn]] void abort_child() {
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

}  // namespace

// Every _exit of the product and of the targets comes here (the link wraps it).
void __wrap__exit(int status) {
    if (in_child && exit_is_finding) {
        std::fprintf(stderr, "fuzz: the process ended with status %d where it must not\n",
                     status);
        abort_child();
    }
    hand_back_counters();
    __real__exit(status);
}

void exits_are_findings(bool on) { exit_is_finding = on; }

void child_finding(const char* message) {
    std::fprintf(stderr, "fuzz: %s\n", message);
    abort_child();
}

int run_forked(const std::function<void()>& body, unsigned time_limit) {
    const size_t n = counter_bytes();
    if (!shared_counters && n != 0) {
        void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            std::perror("fuzz: mmap");
            std::abort();
        }
        shared_counters = static_cast<uint8_t*>(p);
    }
    std::fflush(nullptr);
    if (shared_counters) std::memset(shared_counters, 0, n);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fuzz: fork");
        std::abort();
    }
    if (pid == 0) {
        in_child = true;
        // The fuzzer's own timeout handler would swallow the child's alarm.
        std::signal(SIGALRM, SIG_DFL);
        __sanitizer_set_death_callback(abort_child);
        const int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd >= 0) {
            dup2(null_fd, STDOUT_FILENO);
            close(null_fd);
        }
        alarm(time_limit);
        body();
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            std::perror("fuzz: waitpid");
            std::abort();
        }
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) <= defined_status_max) {
        take_child_counters();
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status))
        std::fprintf(stderr, "fuzz: the child died by signal %d%s\n", WTERMSIG(status),
                     WTERMSIG(status) == SIGALRM ? " (over its time limit)" : "");
    else
        std::fprintf(stderr, "fuzz: the child ended with status %d\n", WEXITSTATUS(status));
    std::abort();
}
