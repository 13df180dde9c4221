#include "import/console/PasswordPrompt.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "import/console/Console.h"
#include "import/console/TerminalRestore.h"

namespace {

constexpr unsigned char backspace = 8;
constexpr unsigned char escape = 27;
constexpr unsigned char deleteKey = 127;

bool IsContinuationByte(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// One byte from standard input; false at the end of the input.
bool ReadByte(unsigned char& byte) {
    for (;;) {
        ssize_t count = read(STDIN_FILENO, &byte, 1);
        if (count == 1) {
            return true;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        return false;
    }
}

std::string ReadWithoutEcho() {
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
    quiet.c_cc[VMIN] = 1;
    quiet.c_cc[VTIME] = 0;
    TerminalRestore::SaveInputMode(saved);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);

    PasswordEditor editor;
    unsigned char byte = 0;
    while (!editor.Done() && ReadByte(byte)) {
        WriteFully(STDERR_FILENO, editor.Feed(byte));
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    TerminalRestore::ForgetInputMode();
    return editor.Password();
}

std::string ReadLine() {
    PasswordEditor editor;
    unsigned char byte = 0;
    while (!editor.Done() && ReadByte(byte)) {
        editor.Feed(byte);
    }
    return editor.Password();
}

}  // namespace

std::string PasswordEditor::Feed(unsigned char byte) {
    if (done_) {
        return {};
    }
    switch (escape_) {
        case Escape::Started:
            escape_ = byte == '[' ? Escape::Sequence : byte == 'O' ? Escape::SingleShift : Escape::None;
            return {};
        case Escape::Sequence:
            if (byte >= 0x40 && byte <= 0x7E) {
                escape_ = Escape::None;  // the final byte of a control sequence
            }
            return {};
        case Escape::SingleShift:
            escape_ = Escape::None;
            return {};
        case Escape::None:
            break;
    }
    if (byte == '\r' || byte == '\n') {
        done_ = true;
        return {};
    }
    if (byte == backspace || byte == deleteKey) {
        if (characters_ == 0) {
            return {};
        }
        while (!password_.empty() && IsContinuationByte(static_cast<unsigned char>(password_.back()))) {
            password_.pop_back();
        }
        password_.pop_back();
        --characters_;
        return "\b \b";
    }
    if (byte == escape) {
        escape_ = Escape::Started;
        return {};
    }
    if (byte < 0x20) {
        return {};  // Tab and the other control characters
    }
    if (IsContinuationByte(byte)) {
        if (!droppingCharacter_ && characters_ > 0) {
            password_ += static_cast<char>(byte);
        }
        return {};
    }
    droppingCharacter_ = characters_ >= maxCharacters;
    if (droppingCharacter_) {
        return {};
    }
    password_ += static_cast<char>(byte);
    ++characters_;
    return "*";
}

std::string ReadConsolePassword(const std::string& prompt) {
    WriteFully(STDERR_FILENO, prompt);
    std::string password = isatty(STDIN_FILENO) ? ReadWithoutEcho() : ReadLine();
    WriteFully(STDERR_FILENO, "\n");
    return password;
}
