// One way out of the process for every thread and every signal.
//
// Signals and fatal link faults only *request* the exit.  The main thread,
// which owns the modem, carries it out at the next point where it waits (a
// modem poll, a send poll, a sleep or the main queue), so the exit sequence
// and its StandBy never run beside an operation on another thread.
#pragma once

namespace Exit {

// Creates the wake pipe; call once before the signal handlers are installed.
void Init() noexcept;

// From a signal handler: async-signal-safe.  Exit status 0.
void RequestFromSignal(int signal) noexcept;

// From any thread but a signal handler.  The first request decides the status.
void Request(int status) noexcept;

// Readable (and staying so) once an exit has been requested; -1 before Init
// and once the exit is under way, so late polls never spin on it.
int WakeFd() noexcept;

bool Pending() noexcept;

// Wakes the main thread out of its queue wait; set by the request loop.
using WakeHook = void (*)();
void SetWakeHook(WakeHook hook) noexcept;
// Calls the hook once per process; used by whoever sees WakeFd first.
void WakeMain() noexcept;

// Printed before the exit when the request came from a signal.
using SignalReport = void (*)(int signal);
void SetSignalReport(SignalReport report) noexcept;

// Main thread only: carries out a pending request; returns when none is.
void CompleteIfPending() noexcept;

}  // namespace Exit
