// The console a front end runs in.
#pragma once

#include <cstdio>

namespace platform {

// Calls handler (from a signal or control handler context: it may only set
// an atomic flag) on Ctrl+C, SIGTERM, or the console window being closed.
void OnInterrupt(void (*handler)());

bool IsTerminal(std::FILE* stream);

// Lets the console show UTF-8 output (the QR code's block characters).
void UseUtf8Output();

}  // namespace platform
