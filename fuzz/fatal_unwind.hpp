// The fuzz build's end of the process. Its end_process (catalogue/fatal.hpp) does not end
// the process: it unwinds to the fuzz target's entry with the message and the status, so
// that targets whose inputs may end the process (a malformed catalogue, the end of the
// typed input) run every input in one process. Any other _exit of the product is a
// finding (the link wraps _exit).
#pragma once

#include <functional>
#include <string>

/// What end_process was given; thrown by it.
struct process_ended {
    std::string message;
    int status = 0;
};

/// Runs body: false when it returned, true when it ended the process in a defined way:
/// a fatal catalogue message with its status (1 to 4), or, where end_of_input_ok, the
/// silent status 0 of the end of the typed input. Any other end is a finding.
bool ends_process(const std::function<void()>& body, bool end_of_input_ok);

/// Aborts with message on standard error, so that the fuzzer keeps the input as a finding.
[[noreturn]] void finding(const char* message);
