// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/stop_signals.h"

#include <csignal>

#include "imaging/isolated_work.h"

namespace pictrova::cli {

namespace {

volatile std::sig_atomic_t gStopRequested = 0;

void RequestStop(int signal) {
    gStopRequested = signal;
    // A picture being drawn on the run's own thread (an attachment's) ends now too.
    imaging::StopIsolatedWork();
}

}  // namespace

StopOnSignals::StopOnSignals() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
}

StopOnSignals::~StopOnSignals() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
}

bool StopRequestedBySignal() {
    return gStopRequested != 0;
}

int StopSignal() {
    return gStopRequested;
}

}  // namespace pictrova::cli
