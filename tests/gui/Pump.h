#pragma once
// Lets the event loop run until cond() holds or ms milliseconds have passed; false on time-out.
#include <QApplication>
#include <QElapsedTimer>

#include <functional>

namespace kadex::test {

inline bool pump(const std::function<bool()>& cond, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace kadex::test
