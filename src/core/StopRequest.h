#pragma once

namespace Vrenn {

// A process-wide request to stop, made by SIGINT or SIGTERM once the handlers are
// installed. The handler only records the signal (an async-signal-safe store): the main
// loop and long loops poll stopRequested() and wind down the normal way, so a stop saves
// what a normal quit saves. A second signal while a stop is pending ends the process at
// once with the signal's default action, for a program that no longer polls.

// Installs the handler for SIGINT and SIGTERM.
void installStopSignalHandlers();
// True once a stop was asked for, by a signal or by requestStop.
bool stopRequested();
// The signal that asked for the stop; 0 when none did.
int stopSignal();
// Asks for a stop as the given signal would (0: no signal).
void requestStop(int signal = 0);
// Forgets a stop request.
void clearStopRequest();
// For the end of a program that wound down on a stop signal: flushes the C streams and
// ends the process by that signal with its default action, so that whoever waits for it
// sees how it ended. Returns at once when no signal asked for the stop.
void endByStopSignal();

} // namespace Vrenn
