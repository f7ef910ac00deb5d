// The console a front end runs in.
#pragma once

#include <cstdio>

namespace platform {

// Calls handler (from a signal or control handler context: it may only set
// an atomic flag) on Ctrl+C, SIGTERM, or the console window being closed.
void OnInterrupt(void (*handler)());

// Makes standard input and output usable for the console front end. A
// window program on Windows keeps handles it was given (pipes, files) and
// otherwise attaches to its parent's console or opens one of its own.
void OpenConsole();

// Calls handler when the user logs off or the system shuts down, and holds
// the end of the session for a few seconds so that the front end can finish
// its shutdown. Windows only: a console program that uses windows gets no
// such console event; on Linux the session's end arrives as SIGHUP or SIGTERM
// through OnInterrupt.
void OnSessionEnd(void (*handler)());

bool IsTerminal(std::FILE* stream);

// Lets the console show UTF-8 output and colour escapes (the QR code's
// block characters and its explicit colours).
void UseUtf8Output();

}  // namespace platform
