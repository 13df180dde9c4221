#pragma once
// Puts the terminal back in order when the program ends early: a password prompt leaves echo off and
// the progress display leaves the alternate screen and a hidden cursor, which an interrupt (Ctrl-C),
// a termination request or a crash would otherwise leave behind.

#include <termios.h>

namespace TerminalRestore {

// Handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT that restore the terminal and then end the
// process as the signal would have; the crash handler restores it too.
void Install();

// The settings of standard input to restore while a prompt has echo turned off.
void SaveInputMode(const termios& mode);
void ForgetInputMode();

// A full-screen display is showing on `fd` / has been closed.
void EnterFullScreen(int fd);
void LeaveFullScreen();

// Restores what is noted above (async-signal-safe).
void Restore();

// Shows the cursor and returns from the alternate screen.
inline constexpr char leaveFullScreenSequence[] = "\x1b[?25h\x1b[?1049l";

}  // namespace TerminalRestore
