// What TVXHandvane says on standard output at start-up, for whoever started
// it from a shell: its version and the page's addresses.
#pragma once

class Application;

// With the QR code of the first address when standard output is a
// terminal. Only the console, which reads commands, invites them.
void PrintWelcome(const Application& app, bool readsCommands);
