// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// SIGINT and SIGTERM during a run: the run stops after the records it has written, removes its
// work files and leaves no partial output.

#include <signal.h>

namespace pictrova::cli {

// Installs the stop request for SIGINT and SIGTERM for the life of the object; the handler
// resets itself, so a second signal still ends the program.
class StopOnSignals {
  public:
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

  private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// A stop was asked for by one of the signals.
bool StopRequestedBySignal();

// The signal that asked for the stop (SIGINT or SIGTERM), 0 when none did.
int StopSignal();

}  // namespace pictrova::cli
