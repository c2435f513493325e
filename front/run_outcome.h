// What a run, or one step of it, came to, and the exit code each outcome gives
// the process.  Only the frame of a run (driver_run.h) and main turn an outcome
// into the exit code; the steps below them report, they never decide.
#pragma once

enum class RunOutcome {
  Ok,               // everything asked for was done
  SetupError,       // a usage, configuration or set-up error: nothing of the
                    // failing section moved
  TransferFailure,  // a failure while data moved, or while logging off
};

// 0, 1 or 2, as the manual page lists them.
constexpr int exitCodeOf(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Ok: return 0;
    case RunOutcome::SetupError: return 1;
    case RunOutcome::TransferFailure: return 2;
  }
  return 2;
}
