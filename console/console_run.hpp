// One console run, from an argument vector to a finished run.
#pragma once

#include "state/catalogue_types.hpp"
#include "state/run_context.hpp"

/// Runs the console: argv[1] (when argc >= 2) is the key script, argv[2] (when argc >= 3)
/// the option path=DIR naming the catalogue directory; saves says what its saves do.
/// Returns 0 when the run has ended.
int console_run(int argc, const arg_vector& argv, save_mode saves = save_mode::end_on_failure);
