#pragma once
// The simulated bus as the tool's serial link: attach it to TComForm instead of a port.
//   auto bus = std::make_shared<kadex::sim::SimBus>();
//   kadex::TComForm com(std::make_unique<kadex::sim::SimTransport>(bus));
#include "comm/Transport.h"
#include "sim/SimBus.h"

#include <memory>

namespace kadex::sim {

class SimTransport final : public ITransport {
public:
    explicit SimTransport(std::shared_ptr<SimBus> bus);
    ~SimTransport() override;

    void setRxHandler(RxHandler h) override;
    void setLostHandler(LostHandler h) override;
    void configure(const PortSettings& settings) override;
    bool open(QString& error) override;
    void close() override;
    bool isOpen() const override;
    QString setDtrRts() override;
    bool write(const uint8_t* data, size_t count) override;
    void discardInput() override;
    // The simulated port is there unless it has hung up.
    bool devicePresent(const QString&) const override { return !bus_->linkDown(); }

    SimBus& bus() { return *bus_; }
    std::shared_ptr<SimBus> sharedBus() const { return bus_; }

private:
    class Endpoint;
    std::shared_ptr<SimBus> bus_;
    std::shared_ptr<Endpoint> ep_;
    PortSettings settings_;
};

} // namespace kadex::sim
