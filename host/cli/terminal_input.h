#pragma once
// Reading a password from a person at a terminal, as ftp, lftp and curl do:
// the prompt goes to the terminal, the typed characters are not echoed, and
// the terminal's settings are restored however the read ends (also when the
// user presses Ctrl-C, which then still ends the program).

#include <optional>
#include <string>

namespace orvex::cli {

// Whether standard input is a terminal.
bool InputIsTerminal();

// Writes `prompt` to the controlling terminal (/dev/tty) and reads one line
// from it with echo off. nullopt when there is no terminal or the input ends
// before a line (Ctrl-D).
std::optional<std::string> PromptForPassword(const std::string& prompt);

// Reads one line from the terminal on standard input with echo off, after
// writing `prompt` to standard error. nullopt at the end of input.
std::optional<std::string> ReadLineWithoutEcho(int fd, const std::string& prompt);

}  // namespace orvex::cli
