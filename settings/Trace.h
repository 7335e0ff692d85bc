#pragma once
// Diagnostic trace for developers: method entry and exit, messages and values, written as one
// text line per entry to "Kadex_Logs/Log.sil" below the per-user folder. Off by default; the
// environment variable KADEX_TRACE=1 switches it on when the trace is set up. While it is off a
// trace point costs one relaxed atomic load: arguments are string views and nothing is built.
//
//     TraceMain.EnterMethod(this, u"ReadData");      // "Enter TVAVBetrieb.ReadData"
//     TraceMain.TraceBool(u"Konfiguration ist gleich: ", equal);
//     TraceMain.LeaveMethod(this, u"ReadData");
// or, for a pair that also closes on early returns:
//     TraceMethodScope scope(TraceMain, this, u"ReadData");
#include <QAnyStringView>
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <type_traits>
#include <typeinfo>

class QObject;

namespace kadex {

// The trace object: switch, output file, rotation.
class TTrace {
public:
    static constexpr qint64 DefaultMaxPartSize = 16LL * 1024 * 1024;
    static constexpr int MaxParts = 5;

    static TTrace& Instance();

    // Program start: application name, file below the per-user folder, switch from KADEX_TRACE.
    void Setup();

    static bool Enabled() noexcept { return on_.load(std::memory_order_relaxed); }
    void SetEnabled(bool on);

    QString ApplicationName() const;
    QString FileName() const;
    // The output as configured, e.g.
    // file(filename="/home/u/.local/share/Kadex_Logs/Log.sil", maxsize="16MB", maxparts=5, append=true)
    QString OutputSetting() const;
    // Path of an older part: 1 is the newest older part, MaxParts - 1 the oldest.
    QString PartFileName(int part) const;

    // Where to write (empty: nowhere) and how large a part may grow before it is rotated;
    // replaces what Setup chose. The next entry starts a new run in that file.
    void SetOutput(const QString& fileName, qint64 maxPartSize = DefaultMaxPartSize);

    // Writes one entry "<time> [<thread>] <kind> <text>" whole, rotating first when the part
    // would outgrow its limit. Failures to write are dropped: the trace never stops the tool.
    void Write(QAnyStringView kind, QAnyStringView text);

private:
    TTrace() = default;
    // " [<thread>] <kind> <text>\n"; the time is put in front when it is written.
    static QByteArray formatEntry(QAnyStringView kind, QAnyStringView text);
    static QByteArray timestamp();
    bool openLocked();
    void rotateLocked();
    void closeLocked();
    void writeLocked(const QByteArray& tail);
    QString partNameLocked(int part) const;
    QString outputSettingLocked() const;

    static inline std::atomic<bool> on_{false};
    mutable std::mutex m_;
    QString appName_;
    QString fileName_;
    qint64 maxPartSize_ = DefaultMaxPartSize;
    int fd_ = -1;
    qint64 size_ = 0;
    bool started_ = false; // the run's first entry is preceded by a start marker
};

// A named channel through which trace points write.
class TTraceChannel {
public:
    explicit constexpr TTraceChannel(const char* name) : name_(name) {}
    const char* Name() const { return name_; }
    static bool Enabled() noexcept { return TTrace::Enabled(); }

    void EnterMethod(QAnyStringView method) const
    {
        if (Enabled())
            writeMethod(u"Enter", {}, method);
    }
    void LeaveMethod(QAnyStringView method) const
    {
        if (Enabled())
            writeMethod(u"Leave", {}, method);
    }
    // With the object's class name as text ("TVAVBetrieb").
    void EnterMethod(QAnyStringView className, QAnyStringView method) const
    {
        if (Enabled())
            writeMethod(u"Enter", className, method);
    }
    void LeaveMethod(QAnyStringView className, QAnyStringView method) const
    {
        if (Enabled())
            writeMethod(u"Leave", className, method);
    }
    // With an object: the class name of a QObject's meta object, else of its C++ type.
    template <typename T>
        requires std::is_class_v<T>
    void EnterMethod(const T* object, QAnyStringView method) const
    {
        if (Enabled())
            writeMethod(u"Enter", ClassNameOf(object), method);
    }
    template <typename T>
        requires std::is_class_v<T>
    void LeaveMethod(const T* object, QAnyStringView method) const
    {
        if (Enabled())
            writeMethod(u"Leave", ClassNameOf(object), method);
    }

    void TraceMessage(QAnyStringView text) const
    {
        if (Enabled())
            TTrace::Instance().Write(u"Message", text);
    }
    // "<title> = True" / "<title> = False"
    void TraceBool(QAnyStringView title, bool value) const
    {
        if (Enabled())
            writeValue(title, value ? QStringLiteral("True") : QStringLiteral("False"));
    }
    // "<title> = <value>"
    void TraceInt(QAnyStringView title, int64_t value) const
    {
        if (Enabled())
            writeValue(title, QString::number(value));
    }
    // "<title> = <text>"
    void TraceText(QAnyStringView title, QAnyStringView text) const
    {
        if (Enabled())
            writeValue(title, text.toString());
    }

    // Class name without namespaces; for QObjects the meta object's name.
    template <typename T>
    static QString ClassNameOf(const T* object)
    {
        if constexpr (std::is_base_of_v<QObject, T>)
            return object ? QObjectClassName(object) : DemangledName(typeid(T));
        else if constexpr (std::is_polymorphic_v<T>)
            return DemangledName(object ? typeid(*object) : typeid(T));
        else
            return DemangledName(typeid(T));
    }
    static QString DemangledName(const std::type_info& type);
    static QString QObjectClassName(const QObject* object);

private:
    void writeMethod(QAnyStringView kind, QAnyStringView className, QAnyStringView method) const;
    void writeValue(QAnyStringView title, const QString& value) const;

    const char* name_;
};

// The program's one channel.
extern TTraceChannel TraceMain;

// Enter on construction, Leave on destruction (only when the entry was written).
class TraceMethodScope {
public:
    TraceMethodScope(const TTraceChannel& channel, QAnyStringView method) : channel_(channel)
    {
        if (TTraceChannel::Enabled())
            begin({}, method);
    }
    TraceMethodScope(const TTraceChannel& channel, QAnyStringView className, QAnyStringView method)
        : channel_(channel)
    {
        if (TTraceChannel::Enabled())
            begin(className.toString(), method);
    }
    template <typename T>
        requires std::is_class_v<T>
    TraceMethodScope(const TTraceChannel& channel, const T* object, QAnyStringView method) : channel_(channel)
    {
        if (TTraceChannel::Enabled())
            begin(TTraceChannel::ClassNameOf(object), method);
    }
    ~TraceMethodScope()
    {
        if (entered_)
            channel_.LeaveMethod(className_, method_);
    }
    TraceMethodScope(const TraceMethodScope&) = delete;
    TraceMethodScope& operator=(const TraceMethodScope&) = delete;

private:
    void begin(const QString& className, QAnyStringView method)
    {
        className_ = className;
        method_ = method.toString();
        entered_ = true;
        channel_.EnterMethod(className_, method_);
    }

    const TTraceChannel& channel_;
    bool entered_ = false;
    QString className_;
    QString method_;
};

// Program start: set up the one trace object (see TTrace::Setup).
void SetupTrace();

} // namespace kadex
