#pragma once
// A record that several threads read and one writer replaces as a whole: readers take the
// current immutable snapshot (one shared-pointer copy under a short lock) and keep using it
// however long they need; a writer builds a new one and swaps it in. No reader ever sees a
// record half old, half new, and a snapshot lives until its last reader lets go.
#include <memory>
#include <mutex>
#include <utility>

namespace kadex {

template <class T>
class SnapshotSlot {
public:
    explicit SnapshotSlot(std::shared_ptr<const T> first = std::make_shared<const T>())
        : current_(first ? std::move(first) : std::make_shared<const T>())
    {
    }

    std::shared_ptr<const T> get() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return current_;
    }

    // A null snapshot stands for the defaults.
    void set(std::shared_ptr<const T> next)
    {
        if (!next)
            next = std::make_shared<const T>();
        std::shared_ptr<const T> old;
        {
            std::lock_guard<std::mutex> lk(m_);
            old = std::exchange(current_, std::move(next));
        }
        // The old snapshot is released (and freed, when this was its last user) unlocked.
    }

private:
    mutable std::mutex m_;
    std::shared_ptr<const T> current_;
};

} // namespace kadex
