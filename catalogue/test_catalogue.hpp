// Shared pieces of the catalogue tests: a scratch folder, catalogue files, and checks of
// the fatal diagnostics.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "state/run_context.hpp"

/// Expects statement to end the process with status, its standard output matching regex
/// (the diagnostics are printed there; the death test reads standard error).
#define EXPECT_FATAL(statement, status, regex)                 \
    EXPECT_EXIT(                                               \
        {                                                      \
            std::fflush(stdout);                               \
            dup2(STDERR_FILENO, STDOUT_FILENO);                \
            statement;                                         \
        },                                                     \
        ::testing::ExitedWithCode(status), regex)

/// A fresh folder, removed with its files at the end of the test.
struct scratch_dir {
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    std::string path;  ///< ends in '/'
};

void write_text(const std::string& path, const std::string& text);
std::string read_text(const std::string& path);
bool file_exists(const std::string& path);
/// Names of the files in dir.
std::vector<std::string> dir_files(const std::string& dir);

/// Writes the two catalogue files into dir and loads them into ctx.
void load_texts(run_context& ctx, const scratch_dir& dir, const std::string& title,
                const std::string& data);

/// Makes every item of ctx an edit of the run's own, so that a save writes each one that
/// its file does not hold as it stands.
void mark_all_edited(run_context& ctx);

/// Data lines of value items far from every test's own items ('v;30;..', 'v;29;..'),
/// enough to bring a catalogue of items lines up to 101.
std::string filler_values(int items);

/// Loads the catalogue and builds everything a run builds before its first key: census,
/// menu tables, value nodes, run state, current menu 0.
void start_run(run_context& ctx, const scratch_dir& dir, const std::string& title,
               const std::string& data);
