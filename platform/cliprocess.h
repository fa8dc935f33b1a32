// What the headless front end needs from the process: its standard streams,
// the signals that stop a search, and writing its output whole.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kormial::platform {

// A write to a reader that went away fails with EPIPE instead of ending the
// process. A closed stderr is pointed at /dev/null, so that no file opened
// later takes its place. False when stdout is closed.
bool prepareStandardStreams();

// True when stderr is a terminal.
bool stderrIsTerminal();

// SIGINT, SIGTERM and SIGHUP are noted instead of ending the process (those
// ignored at start stay ignored); the first one after that ends it at once.
void catchStopSignals();
// Puts back what the stop signals did before catchStopSignals.
void restoreStopSignals();
// The first stop signal caught, 0 while none came.
int stopSignal();
// Runs `work` on a thread of its own and waits, without polling, for it to
// return; a stop signal caught meanwhile (or before) calls `onStop` once, on
// the calling thread, and the wait goes on.
void runUntilDone(const std::function<void()>& work, const std::function<void()>& onStop);
// "SIGINT", "SIGTERM", "SIGHUP" or "a signal".
const char* signalName(int signal);
// 128 + the number of a broken pipe's signal.
int brokenPipeStatus();

// Writes `text` to stdout at once (no buffer in between): 0, or the errno
// of the failure.
int writeStdout(std::string_view text);
// Writes `text` to stdout and closes it: 0, or the errno of the first
// failure (also one that only the close reports).
int writeStdoutAndClose(std::string_view text);
// Is `error` (from writeStdoutAndClose) a reader that went away?
bool isBrokenPipe(int error);

}  // namespace kormial::platform
