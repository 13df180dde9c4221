#pragma once
// Makes sure only one copy of the program imports at a time for a user: two imports into the same
// work directory would mix their progress logs. The lock is an exclusive flock on a file in the work
// directory; the system releases it when the process ends, however it ends.

#include <string>

class InstanceLock {
  public:
    // Tries to take the lock in `workDirectory`; Held() tells whether it was taken.
    explicit InstanceLock(const std::string& workDirectory);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};
