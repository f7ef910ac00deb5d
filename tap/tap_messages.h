// What TVXTap tells its user when it cannot do what was asked.
#pragma once

// Prints the library's reason for the last failure (no such folder, no
// server, a server that has ended, a command FIFO that is full) after
// "TVXTap: " on standard error; returns exit code 1.
int ReportFailure();
