#pragma once
// Passwords typed at the console: nothing typed is shown, every accepted character is echoed as
// "*". Enter ends the input; Backspace (or Delete) removes the last character and its "*"; Tab,
// Escape, the sequences of cursor and function keys and every other control character are ignored;
// at most 260 characters (code points) are kept, further ones are ignored.

#include <functional>
#include <string>

// The editing rules over the bytes a terminal delivers.
class PasswordEditor {
  public:
    static constexpr size_t maxCharacters = 260;

    // Takes one byte and returns what to echo for it ("*", "\b \b" or nothing).
    std::string Feed(unsigned char byte);
    bool Done() const { return done_; }
    const std::string& Password() const { return password_; }

  private:
    enum class Escape { None, Started, Sequence, SingleShift };

    std::string password_;
    size_t characters_ = 0;
    bool droppingCharacter_ = false;  // the continuation bytes of an ignored character
    Escape escape_ = Escape::None;
    bool done_ = false;
};

// Asks for a password: writes `prompt` to standard error and reads from standard input, without
// echo when it is a terminal (the terminal is put back however the program ends), else one line.
// Writes a line break afterwards.
std::string ReadConsolePassword(const std::string& prompt);

using PasswordReader = std::function<std::string(const std::string& prompt)>;
