#pragma once
// The single-instance rule: a lock file in the user's runtime folder, held while the program
// runs. The lock belongs to the open file, so it goes away with a crashed process and a stale
// file is simply taken over.
#include <QString>

namespace kadex {

class SingleInstanceLock {
public:
    explicit SingleInstanceLock(QString name = QStringLiteral("Qdr_Running"));
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this process now holds the lock; false when another instance holds it.
    bool TryAcquire();
    bool Held() const { return fd_ >= 0; }
    QString Path() const { return path_; }
    // $XDG_RUNTIME_DIR, else the temporary folder with the user id in the name.
    static QString RuntimeDir();

private:
    QString path_;
    int fd_ = -1;
};

} // namespace kadex
