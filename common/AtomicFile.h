#pragma once
// Replacing a file so that a crash or a full disk never leaves it half written, and an
// advisory lock that serialises read-modify-write cycles of several processes.
#include <QByteArray>
#include <QString>

namespace kadex {

// Writes data to a temporary file in the target's folder, flushes it to the disk and renames
// it over the target (then flushes the folder). On failure the target is as it was and the
// temporary file is gone; error says why.
bool WriteFileAtomic(const QString& path, const QByteArray& data, QString* error = nullptr);

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
