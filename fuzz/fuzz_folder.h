// What the fuzz targets share: one scratch folder per process, removed at exit,
// and a way to stop with a message when a checked property fails.
#pragma once

#include <string>
#include <string_view>

// Created on first use in the system's temporary folder.
const std::string& FuzzFolder();

// Writes the message and the offending input's length to stderr and aborts,
// which libFuzzer reports as a crash with the input saved.
[[noreturn]] void FuzzFailure(std::string_view message);
