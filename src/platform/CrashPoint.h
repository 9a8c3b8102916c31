#pragma once
// Fault injection for the crash tests: when the environment variable TREVANIX_CRASH_AT names a
// point the program passes, the process is killed right there, as kill -9 or a power cut would.
// Unset (always, outside the tests) it costs one comparison.

void CrashPoint(const char* name);
