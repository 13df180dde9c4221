#pragma once
// Where CmdLineStatus shows a job's progress: a bar and three lines (progress, errors, warnings).
// On a terminal the display is drawn with ANSI control sequences in the alternate screen: the bar
// on row 1, the progress line on row 3, the errors on row 5 and the warnings on row 7 (counted from
// 0, rows wrap at the terminal's height), all from column 0; the bar grows with the percentage and
// never reaches the last column. Elsewhere (a log file, CI) the same lines are printed one after
// another whenever they change, the progress line once per percent. Closing the display returns to
// the normal screen and prints the job's closing text there, so it stays readable after the run.

#include <memory>
#include <optional>
#include <string>

enum class ScreenLine { Errors, Warnings };

class ConsoleScreen {
  public:
    virtual ~ConsoleScreen() = default;
    // The bar and the progress line for `percent` (0-100).
    virtual void ShowProgress(int percent, const std::string& line) = 0;
    virtual void ShowLine(ScreenLine which, const std::string& line) = 0;
    virtual void RemoveBar() = 0;
    // Leaves the display and prints `closingText` (nothing more is drawn afterwards).
    virtual void Close(const std::string& closingText) = 0;
};

struct TerminalSize {
    int rows = 24;
    int columns = 80;
};

// The display for `fd`: full-screen when it is a terminal (and TERM is not "dumb"), else lines.
std::unique_ptr<ConsoleScreen> OpenConsoleScreen(int fd);

// The two displays. `size` fixes the terminal's size; without it the terminal is asked each time.
std::unique_ptr<ConsoleScreen> MakeTerminalScreen(int fd, std::optional<TerminalSize> size = std::nullopt);
std::unique_ptr<ConsoleScreen> MakePlainScreen(int fd);
