#include "import/console/ConsoleScreen.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "import/console/Console.h"
#include "import/console/TerminalRestore.h"

namespace {

// Rows below the bar's row, and the bar's row and column on the screen.
constexpr int progressOffset = 2;
constexpr int errorsOffset = 4;
constexpr int warningsOffset = 6;
constexpr int originRow = 1;
constexpr int originColumn = 0;
constexpr const char* barCell = "\u00a6";

class TerminalScreen final : public ConsoleScreen {
  public:
    TerminalScreen(int fd, std::optional<TerminalSize> size) : fd_(fd), fixedSize_(size) {
        TerminalRestore::EnterFullScreen(fd_);
        // Alternate screen, cleared, cursor hidden.
        WriteFully(fd_, "\x1b[?1049h\x1b[2J\x1b[?25l");
    }
    ~TerminalScreen() override { Close({}); }

    void ShowProgress(int percent, const std::string& line) override {
        TerminalSize size = Size();
        // The bar never reaches the last column.
        int length = std::min((size.columns - originColumn) * percent / 100, size.columns - 1 - originColumn);
        if (length != barLength_) {
            std::string bar = MoveTo(Row(0, size), originColumn);
            for (int cell = 0; cell < length; ++cell) {
                bar += barCell;
            }
            WriteFully(fd_, bar + "\x1b[K");
            barLength_ = length;
        }
        DrawLine(progressOffset, line, size);
    }

    void ShowLine(ScreenLine which, const std::string& line) override {
        DrawLine(which == ScreenLine::Errors ? errorsOffset : warningsOffset, line, Size());
    }

    void RemoveBar() override {
        WriteFully(fd_, MoveTo(Row(0, Size()), originColumn) + "\x1b[K");
        barLength_ = 0;
    }

    void Close(const std::string& closingText) override {
        if (closed_) {
            return;
        }
        closed_ = true;
        WriteFully(fd_, TerminalRestore::leaveFullScreenSequence);
        TerminalRestore::LeaveFullScreen();
        WriteFully(fd_, closingText);
    }

  private:
    TerminalSize Size() const {
        if (fixedSize_) {
            return *fixedSize_;
        }
        winsize window{};
        if (ioctl(fd_, TIOCGWINSZ, &window) == 0 && window.ws_row > 0 && window.ws_col > 0) {
            return {window.ws_row, window.ws_col};
        }
        return {};
    }
    static int Row(int offset, const TerminalSize& size) { return (originRow + offset) % size.rows; }
    static std::string MoveTo(int row, int column) {
        return "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H";
    }
    void DrawLine(int offset, const std::string& line, const TerminalSize& size) {
        WriteFully(fd_, MoveTo(Row(offset, size), originColumn) + line + "\x1b[K");
    }

    int fd_;
    std::optional<TerminalSize> fixedSize_;
    int barLength_ = 0;
    bool closed_ = false;
};

class PlainScreen final : public ConsoleScreen {
  public:
    explicit PlainScreen(int fd) : fd_(fd) {}

    void ShowProgress(int percent, const std::string& line) override {
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            WriteFully(fd_, line + "\n");
        }
    }
    void ShowLine(ScreenLine which, const std::string& line) override {
        std::string& last = which == ScreenLine::Errors ? lastErrors_ : lastWarnings_;
        if (line != last) {
            last = line;
            WriteFully(fd_, line + "\n");
        }
    }
    void RemoveBar() override {}
    void Close(const std::string& closingText) override { WriteFully(fd_, closingText); }

  private:
    int fd_;
    int lastPercent_ = -1;
    std::string lastErrors_;
    std::string lastWarnings_;
};

}  // namespace

std::unique_ptr<ConsoleScreen> MakeTerminalScreen(int fd, std::optional<TerminalSize> size) {
    return std::make_unique<TerminalScreen>(fd, size);
}

std::unique_ptr<ConsoleScreen> MakePlainScreen(int fd) {
    return std::make_unique<PlainScreen>(fd);
}

std::unique_ptr<ConsoleScreen> OpenConsoleScreen(int fd) {
    const char* term = getenv("TERM");
    bool fullScreen = isatty(fd) && term != nullptr && *term != '\0' && strcmp(term, "dumb") != 0;
    return fullScreen ? MakeTerminalScreen(fd) : MakePlainScreen(fd);
}
