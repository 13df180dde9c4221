#pragma once
// An anonymous temporary file that holds one item's MIME text while it is uploaded, so that a large
// message is never held in memory a second time. It has no name (it vanishes when closed, even
// after a crash) and only this user can read it.

#include <memory>
#include <ostream>
#include <streambuf>

class StagingFile {
  public:
    // A new file in $TMPDIR (or /tmp); nullptr when none can be made.
    static std::unique_ptr<StagingFile> Create();
    ~StagingFile();
    StagingFile(const StagingFile&) = delete;
    StagingFile& operator=(const StagingFile&) = delete;

    // Writes go through a buffer; Flush() before the file is read. A write error sets badbit.
    std::ostream& Stream() { return stream_; }
    bool Flush();
    int Descriptor() const { return fd_; }

  private:
    class Buffer : public std::streambuf {
      public:
        explicit Buffer(int fd);
        bool Drain();

      protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* data, std::streamsize size) override;
        int sync() override { return Drain() ? 0 : -1; }

      private:
        int fd_;
        char space_[64 * 1024];
    };

    explicit StagingFile(int fd);

    int fd_;
    Buffer buffer_;
    std::ostream stream_;
};
