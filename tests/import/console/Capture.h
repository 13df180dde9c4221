#pragma once
// What a piece of console output wrote, read back from a scratch file.

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "tests/support/TestSupport.h"

class Capture {
  public:
    Capture() : fd_(open((dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)) {}
    ~Capture() { close(fd_); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    int Fd() const { return fd_; }
    std::string Text() const { return TestSupport::ReadFile(dir_ / "out"); }

  private:
    TestSupport::TempDir dir_;
    int fd_;
};
