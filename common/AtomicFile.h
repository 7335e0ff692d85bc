#pragma once
// An advisory lock that serialises read-modify-write cycles of several processes; the files
// themselves are replaced with WriteFileAtomic (common/TextFile.h).
#include "common/TextFile.h"

#include <QString>

namespace kadex {

// An exclusive lock on PATH + ".lock" (flock), held for the object's life. Processes that use
// the same path take turns; the lock goes with the process, so a crash never leaves it held.
class FileLock {
public:
    explicit FileLock(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace kadex
