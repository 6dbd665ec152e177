// One fuzz input run in a child process, for code whose defined outcomes include ending
// the process (a malformed catalogue, the end of the typed input). The child's exit status
// is the outcome; its coverage is handed back to the fuzzer in the parent, so that the
// fuzzer still sees what the input reached.
#pragma once

#include <functional>

/// Highest exit status that is a defined outcome; the product's fatal exits use 1 to 4.
constexpr int defined_status_max = 4;

/// Runs body in a forked child, which ends with status 0 when body returns, and returns
/// the child's exit status when it is 0..defined_status_max. Any other end is a finding
/// and aborts the fuzzer: a signal (a sanitizer report aborts the child), another status,
/// or a child still running after time_limit seconds. The child's standard output goes
/// to /dev/null; its standard error stays, for the sanitizers' reports.
int run_forked(const std::function<void()>& body, unsigned time_limit = 10);

/// In the child: while on, an exit of the process is a finding, for the stages of an
/// input that must not end it.
void exits_are_findings(bool on);

/// In the child: aborts with message on standard error (a finding).
[[noreturn]] void child_finding(const char* message);
