// Prints what one change of a window field costs: with 0..64 plain listeners, with a change
// rule, with a queued connection to a receiver on the GUI thread (delivery included), and with
// two threads writing at once, and how long a GUI-side change waits for a worker's cascade.
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"

#include <QCoreApplication>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace kadex;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kChanges = 200000;

double nsPer(Clock::time_point start, int count)
{
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count;
}

// Alternates a field between two texts so that every write is a real change.
double timeChanges(WindowModel& m, FieldId field, int count)
{
    const QString a = "12.5", b = "13.5";
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        m.setText(field, (i & 1) ? a : b);
    return nsPer(start, count);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("window model: cost of one text change (%d changes each)\n", kChanges);

    {
        WindowModel m(mainWindowFields());
        const auto start = Clock::now();
        for (int i = 0; i < kChanges; ++i)
            m.setText(fld::EditVmaxPrz, "100.00");
        std::printf("  no-op write (same value)         %8.1f ns\n", nsPer(start, kChanges));
    }
    {
        WindowModel m(mainWindowFields());
        const auto start = Clock::now();
        QString sink;
        for (int i = 0; i < kChanges; ++i)
            sink = m.text(fld::EditVmaxPrz);
        std::printf("  read                             %8.1f ns\n", nsPer(start, kChanges));
        const QString name = fld::EditVmaxPrz.name();
        const auto start2 = Clock::now();
        for (int i = 0; i < kChanges; ++i)
            sink = m.text(name);
        std::printf("  read by name                     %8.1f ns\n", nsPer(start2, kChanges));
    }
    for (int listeners : {0, 1, 4, 16, 64}) {
        WindowModel m(mainWindowFields());
        std::atomic<long> heard{0};
        for (int i = 0; i < listeners; ++i)
            m.addListener([&](const QString&, Prop) { heard.fetch_add(1, std::memory_order_relaxed); });
        const double ns = timeChanges(m, fld::EditVmaxPrz, kChanges);
        std::printf("  change, %2d listeners             %8.1f ns\n", listeners, ns);
    }
    {
        WindowModel m(mainWindowFields());
        m.onChange(fld::EditVmaxPrz, [&](const Change&) { m.setText(fld::EditVmaxM3, m.text(fld::EditVmaxPrz)); });
        const double ns = timeChanges(m, fld::EditVmaxPrz, kChanges);
        std::printf("  change whose rule sets a 2nd field %6.1f ns\n", ns);
    }
    {
        // The widget layer's path: emit on the changing thread, deliver through the event loop.
        WindowModel m(mainWindowFields());
        QObject receiver;
        long delivered = 0;
        QObject::connect(&m, &WindowModel::fieldChanged, &receiver,
                         [&](const QString&, Prop) { ++delivered; }, Qt::QueuedConnection);
        const int count = kChanges / 4;
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            m.setText(fld::EditBetrIstwPrz, QString::number(i + 1));
            if (i % 1000 == 999)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        std::printf("  change + queued delivery          %7.1f ns (%ld delivered)\n", nsPer(start, count), delivered);
    }
    {
        WindowModel m(mainWindowFields());
        m.addListener([](const QString&, Prop) {});
        const int count = kChanges / 2;
        const auto start = Clock::now();
        std::thread t1([&] { timeChanges(m, fld::EditSignW1, count); });
        std::thread t2([&] { timeChanges(m, fld::EditSignU5, count); });
        t1.join();
        t2.join();
        std::printf("  change, 2 threads at once         %7.1f ns per change\n", nsPer(start, 2 * count));
    }
    {
        // A worker's cascades (a change whose rule writes two more fields) run back to back
        // while the GUI side edits a field of its own: its wait is bounded by one cascade.
        WindowModel m(mainWindowFields());
        m.addListener([](const QString&, Prop) {});
        m.onChange(fld::EditSignW1, [&](const Change&) {
            m.setText(fld::EditSignU5, m.text(fld::EditSignW1));
            m.setText(fld::EditSensorSign, m.text(fld::EditSignU5));
        });
        std::atomic<bool> stop{false};
        std::thread worker([&] {
            for (int i = 0; !stop; ++i)
                m.setText(fld::EditSignW1, QString::number(i));
        });
        const int count = kChanges / 4;
        std::vector<double> waits;
        waits.reserve(count);
        for (int i = 0; i < count; ++i) {
            const auto start = Clock::now();
            m.setText(fld::EditVmaxPrz, (i & 1) ? QStringLiteral("12.50") : QStringLiteral("13.50"), Origin::User);
            waits.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        stop = true;
        worker.join();
        std::sort(waits.begin(), waits.end());
        std::printf("  GUI change beside worker cascades  median %.1f us, 99.9 %% %.1f us, max %.1f us\n",
                    waits[waits.size() / 2], waits[waits.size() * 999 / 1000], waits.back());
    }
    return 0;
}
