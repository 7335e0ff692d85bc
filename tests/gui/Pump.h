#pragma once
// Lets the event loop run until cond() holds or ms milliseconds have passed; false on time-out.
// Events are taken in slices of sliceMs (benchmarks measuring stalls use short ones).
#include <QApplication>
#include <QElapsedTimer>

#include <functional>

namespace kadex::test {

inline bool pump(const std::function<bool()>& cond, int ms, int sliceMs = 20)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, sliceMs);
    }
    return true;
}

} // namespace kadex::test
