// "scan": who answers on PP and ZB1..ZB8, with serial number, type and firmware.
#include "cli/CliCommon.h"
#include "comm/Clock.h"
#include "core/BusScan.h"
#include "device/Identify.h"

#include <QJsonArray>
#include <QJsonObject>
#include <unistd.h>

namespace kadex::cli {

namespace {

const char* stateName(ScanEntry::State s)
{
    switch (s) {
    case ScanEntry::State::Absent: return "absent";
    case ScanEntry::State::Present: return "present";
    case ScanEntry::State::Duplicate: return "duplicate";
    }
    return "absent";
}

const QString kDuplicateAdvice = QStringLiteral(
    "garbled answers: probably two or more controllers share this address; give one of them another "
    "address by its serial number (kadex-cli address --serial SERIAL NEW)");

} // namespace

int runScan(TZBCmd& zb, const Options& o)
{
    // Progress only where somebody watches it; a pipe or a log gets the result alone.
    const bool progress = isatty(STDERR_FILENO) && !o.trace;
    IClock& clock = SteadyClock::Instance();
    const uint64_t start = clock.NowMs();
    const ScanResult r = ScanBus(zb, [&](int index) {
        if (progress) {
            err() << "\rAsking " << BusAddressName(index).leftJustified(3) << " (" << index + 1 << "/9) ...";
            err().flush();
        }
    });
    const double seconds = static_cast<double>(clock.NowMs() - start) / 1000.0;
    if (progress) {
        err() << "\r" << QString(30, QLatin1Char(' ')) << "\r";
        err().flush();
    }
    if (r.linkLost)
        return portLostError(zb.Com());

    int found = 0, shared = 0;
    for (const ScanEntry& e : r.entries) {
        found += e.state == ScanEntry::State::Present;
        shared += e.state == ScanEntry::State::Duplicate;
    }
    if (o.json) {
        QJsonArray list;
        for (const ScanEntry& e : r.entries) {
            QJsonObject a;
            a[QStringLiteral("address")] = BusAddressName(e.index);
            a[QStringLiteral("state")] = QLatin1String(stateName(e.state));
            if (e.state == ScanEntry::State::Present) {
                a[QStringLiteral("serialNumber")] = e.serial;
                a[QStringLiteral("type")] = e.typeText;
                a[QStringLiteral("firmware")] = e.firmwareOk ? QJsonValue(IdentInfo::Hex4(e.firmware)) : QJsonValue();
            } else if (e.state == ScanEntry::State::Duplicate) {
                a[QStringLiteral("advice")] = kDuplicateAdvice;
            }
            list.append(a);
        }
        QJsonObject obj;
        obj[QStringLiteral("addresses")] = list;
        obj[QStringLiteral("found")] = found;
        obj[QStringLiteral("duplicates")] = shared;
        obj[QStringLiteral("seconds")] = qRound(seconds * 100) / 100.0;
        printJson(obj);
    } else {
        for (const ScanEntry& e : r.entries) {
            out() << BusAddressName(e.index).leftJustified(4);
            switch (e.state) {
            case ScanEntry::State::Absent: out() << "no answer"; break;
            case ScanEntry::State::Duplicate: out() << kDuplicateAdvice; break;
            case ScanEntry::State::Present:
                out() << e.serial << "  " << e.typeText << "  firmware "
                      << (e.firmwareOk ? IdentInfo::Hex4(e.firmware) : QStringLiteral("unknown"));
                break;
            }
            out() << '\n';
        }
        out() << found << (found == 1 ? " controller" : " controllers") << " answered";
        if (shared)
            out() << ", " << shared << (shared == 1 ? " address" : " addresses") << " probably shared";
        out() << "; the scan took " << QString::number(seconds, 'f', 1) << " s\n";
        out().flush();
    }
    if (found == 0 && shared == 0) {
        err() << "kadex-cli: no controller answers on PP or ZB1..ZB8" << Qt::endl;
        return ExitDevice;
    }
    return ExitOk;
}

} // namespace kadex::cli
