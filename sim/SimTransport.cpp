#include "sim/SimTransport.h"

#include <atomic>
#include <mutex>

namespace kadex::sim {

// The bus holds this end; it outlives the transport while a delivery is in flight, and the
// handler locks make sure no handler runs after it has been replaced.
class SimTransport::Endpoint final : public IBusLink {
public:
    void fromBus(const uint8_t* data, size_t count) override
    {
        std::lock_guard<std::mutex> l(rxMu);
        if (open.load() && rx)
            rx(data, count);
    }
    void linkLost(const std::string& reason) override
    {
        if (!open.exchange(false))
            return;
        std::lock_guard<std::recursive_mutex> l(lostMu);
        if (lost)
            lost(QString::fromStdString(reason));
    }

    std::mutex rxMu;
    RxHandler rx;
    std::recursive_mutex lostMu;
    LostHandler lost;
    std::atomic<bool> open{false};
};

SimTransport::SimTransport(std::shared_ptr<SimBus> bus) : bus_(std::move(bus)), ep_(std::make_shared<Endpoint>()) {}

SimTransport::~SimTransport()
{
    close();
    setRxHandler(nullptr);
    setLostHandler(nullptr);
}

void SimTransport::setRxHandler(RxHandler h)
{
    std::lock_guard<std::mutex> l(ep_->rxMu);
    ep_->rx = std::move(h);
}

void SimTransport::setLostHandler(LostHandler h)
{
    std::lock_guard<std::recursive_mutex> l(ep_->lostMu);
    ep_->lost = std::move(h);
}

void SimTransport::configure(const PortSettings& settings)
{
    settings_ = settings;
    bus_->setLinkBaud(settings.baudRate);
}

bool SimTransport::open(QString& error)
{
    if (ep_->open.load())
        return true;
    std::string why;
    if (!bus_->attach(ep_, why)) {
        error = QString::fromStdString(why);
        return false;
    }
    bus_->setLinkBaud(settings_.baudRate);
    ep_->open = true;
    return true;
}

void SimTransport::close()
{
    ep_->open = false;
    bus_->detach(ep_.get());
}

bool SimTransport::isOpen() const
{
    return ep_->open.load();
}

QString SimTransport::setDtrRts()
{
    return {};
}

bool SimTransport::write(const uint8_t* data, size_t count)
{
    if (!ep_->open.load())
        return false;
    return bus_->fromPc(ep_.get(), data, count, false);
}

void SimTransport::discardInput()
{
    bus_->discardDue(ep_.get());
}

} // namespace kadex::sim
