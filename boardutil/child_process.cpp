#include "boardutil/child_process.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr int signal_status_base = 0x180;

int read_exec_error(int fd) {
    int child_errno = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &child_errno, sizeof child_errno);
        if (n < 0 && errno == EINTR) continue;
        return n == static_cast<ssize_t>(sizeof child_errno) ? child_errno : 0;
    }
}

}  // namespace

pid_t spawn_command(const char* const argv[]) {
    if (argv == nullptr || argv[0] == nullptr) {
        errno = EINVAL;
        return -1;
    }

    // The child reports a failed exec through a close-on-exec pipe: a successful exec
    // closes it unwritten. Unlike a variable in memory shared by vfork, this also holds
    // where vfork is carried out as a plain fork (qemu user mode).
    int report[2];
    if (::pipe2(report, O_CLOEXEC) < 0) return -1;
    std::fflush(nullptr);
    const pid_t pid = ::vfork();
    if (pid == 0) {
        // execvp's argument is not const for C's sake; it changes nothing.
        ::execvp(argv[0], const_cast<char* const*>(argv));
        const int exec_errno = errno;
        ssize_t ignored = ::write(report[1], &exec_errno, sizeof exec_errno);
        (void)ignored;
        ::_exit(1);
    }
    const int vfork_errno = errno;
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        errno = vfork_errno;
        return -1;
    }
    const int child_errno = read_exec_error(report[0]);
    ::close(report[0]);
    if (child_errno != 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        errno = child_errno;
        return -1;
    }
    return pid;
}

int wait_command(pid_t pid) {
    if (pid <= 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return WTERMSIG(status) + signal_status_base;
    return 0;
}
