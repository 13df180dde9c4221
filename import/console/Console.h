#pragma once
// The console of a command-line run: progress and summaries go to standard output, the texts that the
// wizard would show in message boxes (refusals, failed checks, questions) to standard error. Written
// straight to the file descriptors, so that the full-screen progress display and the lines printed
// around it never overtake each other. Messages are also logged.

#include <string>
#include <string_view>

class Console {
  public:
    explicit Console(int outFd = 1, int errorFd = 2) : outFd_(outFd), errorFd_(errorFd) {}

    int OutFd() const { return outFd_; }

    // Writes `text` as it is to standard output.
    void Print(std::string_view text) const;
    // Shows a message: standard error, ending with a line break, and one log line.
    void Show(std::string_view text) const;

  private:
    int outFd_;
    int errorFd_;
};

// Writes all of `text` to `fd`, going on after interruptions; false when the descriptor fails.
bool WriteFully(int fd, std::string_view text);
