#pragma once
// A byte transport under the serial link: a real serial port or the in-process simulator.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <QFileInfo>
#include <QString>

namespace kadex {

// Why a port did not open, in the few classes a user can act on.
enum class PortOpenError {
    None,
    NoSuchDevice,     // no device at that path (adapter not plugged in, wrong name)
    PermissionDenied, // the user may not open it (not in the owning group)
    InUse,            // another program holds it
    Other,
};

struct PortSettings {
    QString portName;     // device path (/dev/ttyUSB0) or "ComN"
    int baudRate = 1200;  // already mapped to a supported rate
    int dataBits = 8;
    int stopBitsTenths = 10;
};

class ITransport {
public:
    // Called with every chunk of bytes that arrives; may run on any thread.
    using RxHandler = std::function<void(const uint8_t* data, size_t count)>;
    // Called once when the link is lost while open (device removed, peer hung up).
    using LostHandler = std::function<void(const QString& reason)>;

    virtual ~ITransport() = default;

    virtual void setRxHandler(RxHandler h) = 0;
    virtual void setLostHandler(LostHandler h) = 0;

    virtual void configure(const PortSettings& settings) = 0;
    // Opens the link with DTR and RTS off. error receives the system's reason on failure.
    virtual bool open(QString& error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Switches DTR on, then RTS; returns a warning text when a line cannot be switched
    // (a pseudo-terminal has neither), which is not a failure.
    virtual QString setDtrRts() = 0;
    // Writes the bytes and waits until they are out. False on a port error.
    virtual bool write(const uint8_t* data, size_t count) = 0;
    // Drops whatever has been received and not yet delivered.
    virtual void discardInput() = 0;
    // Why the last open failed; the system's own text went to open()'s error.
    virtual PortOpenError lastOpenErrorKind() const { return PortOpenError::Other; }
    // The owning group of the device when the last open was refused for permission.
    virtual QString lastOpenGroup() const { return {}; }
    // Whether the device at path is there to be opened (a lost adapter that came back).
    virtual bool devicePresent(const QString& path) const { return QFileInfo::exists(path); }
};

} // namespace kadex
