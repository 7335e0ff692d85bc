#include "sim/Controller.h"

#include "comm/ZBFrame.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kadex::sim {

namespace {

// Command codes as the controller knows them.
enum : uint8_t {
    CmdReadMem = 0x01, CmdWriteMem = 0x02, CmdSetW1Range = 0x03, CmdGetW1Range = 0x06,
    CmdGetBusAddress = 0x0D, CmdSetOverride = 0x0E, CmdGetConfigInfo = 0x12, CmdSetU5Range = 0x13,
    CmdGetFirmware = 0x14, CmdGetU5Range = 0x15, CmdGetAlarms = 0x1A, CmdGetFlowLimits = 0x1E,
    CmdSetSetpoint = 0x25, CmdSetAddressBySerial = 0x26, CmdGetSetpoint = 0x29, CmdGetIdentity = 0x32,
    CmdGetActualValue = 0x39, CmdGetVLevels = 0x3B, CmdLock = 0x3C, CmdSetVLevels = 0x3D,
    CmdGetTextAddresses = 0x47, CmdGetMode = 0x4B, CmdUnlock = 0x4E,
};

// Telegram length n (command code + payload) each command takes; WriteMem takes 4..7.
bool lengthFits(uint8_t cmd, size_t n)
{
    switch (cmd) {
    case CmdReadMem: return n == 4;
    case CmdWriteMem: return n >= 4 && n <= 7;
    case CmdSetW1Range:
    case CmdSetU5Range:
    case CmdUnlock: return n == 5;
    case CmdSetOverride: return n == 2;
    case CmdSetSetpoint: return n == 3;
    case CmdSetAddressBySerial:
    case CmdSetVLevels: return n == 7;
    default: return n == 1;
    }
}

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
void putBe16(std::vector<uint8_t>& v, uint16_t x)
{
    v.push_back(static_cast<uint8_t>(x >> 8));
    v.push_back(static_cast<uint8_t>(x));
}

bool validAddressCode(uint8_t code)
{
    return code != zb::PatternBroadcast && code != zb::PatternButton && zb::AddressIndexOfPattern(code) >= 0;
}

uint16_t clampToU16(double v)
{
    if (!(v > 0))
        return 0;
    if (v > 65535)
        return 65535;
    return static_cast<uint16_t>(std::lround(v));
}

} // namespace

std::string Identity::text() const
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%05u-%05u-%03u-%03u", unsigned(w1), unsigned(w2), unsigned(type), unsigned(last));
    return buf;
}

Controller::Controller(const ControllerSetup& setup, uint64_t nowUs)
{
    loadDefaults(setup);
    powerUp(nowUs);
}

void Controller::loadDefaults(const ControllerSetup& s)
{
    mem_.fill(0);
    firmware_ = s.firmware;
    tableId_ = s.tableId;
    setIdentity(s.identity);
    mem_[mem::QvFlags] = 0;  // internal sensor
    setAddressCode(s.addressCode);
    // Controller parameters as the tool's settings preset them, so that a fresh read written
    // back unchanged writes the same bytes.
    pokeBe16(mem::BetrOn, 0);
    pokeBe16(mem::BetrRun, 0);
    pokeBe16(mem::T1, 0);
    pokeBe16(mem::Tv, 0);
    pokeBe16(mem::Tn, 400);
    pokeBe16(mem::KTa, 1);
    mem_[mem::Adaptive] = 1;
    pokeFloatLe(mem::K, 1.2f);

    // Calibration: DPK-300 pressure sensor, HFX actuator, volume-flow function.
    mem_[mem::ConfigFlags] = 1;  // linear actuator signal
    pokeBe32(mem::Password, s.password);
    mem_[mem::Function] = 0;
    mem_[mem::SensorType] = 2;
    mem_[mem::PressureSensorFamily] = 1;
    pokeBe16(mem::Vtot, 5);
    const uint32_t conductance = 2800;  // 28.00
    pokeBe16(mem::Conductance16, conductance / 10);
    pokeBe16(mem::Density, 1229);
    pokeBe16(mem::RunningTime, 5);
    pokeBe16(mem::Vnom, 250);
    pokeBe16(mem::Ymin, 2000);
    pokeBe16(mem::Ymax, 10000);
    pokeBe16(mem::Ptot, 3);
    pokeBe16(mem::Pverz, 30);
    pokeBe16(mem::Pmin, 0);
    pokeBe16(mem::Pmax, 10000);
    pokeBe16(mem::Pnom, 300);
    pokeBe16(mem::YRmin, 2000);
    pokeBe16(mem::YRmax, 10000);
    pokeBe16(mem::Altitude, 0);
    pokeBe16(mem::Temperature, 20);
    pokeBe16(mem::Humidity, 50);
    setText16(mem::OemText, "OEM-Text");
    setText16(mem::PositionText, "Positionstext");
    setText16(mem::TypeText, "Kadex");
    if (firmware_ >= 0x0204) {
        pokeBe32(mem::Conductance32, conductance);
        // Calibration constants that belong to the values above.
        const double lw = conductance / 100.0, rho = 1229 / 1024.0, pn = 300, vn = 250, ptot = 3;
        const double vp = std::sqrt(lw * lw * pn / rho);
        pokeBe32(mem::KonstVnom, static_cast<uint32_t>(std::lround(vn * 1000 / vp)));
        pokeFloatLe(mem::KonstWurzel, static_cast<float>(lw * 10000 / (vn * std::sqrt(rho))));
        pokeBe32(mem::KonstPtot, static_cast<uint32_t>(std::lround(std::sqrt(ptot / rho) * lw * 100 / vn * 100)));
    }

    // Operating values.
    pokeBe16(mem::VLevels, 2000);
    pokeBe16(mem::VLevels + 2, 5000);
    pokeBe16(mem::VLevels + 4, 10000);
    pokeBe16(mem::W1Range, 0);
    pokeBe16(mem::W1Range + 2, 10000);
    pokeBe16(mem::U5Range, 0);
    pokeBe16(mem::U5Range + 2, 10000);
}

void Controller::powerUp(uint64_t nowUs)
{
    mode_ = ModeAuto;
    setpoint_ = 0xFFFF;
    unlocked_ = Unlocked::None;
    moving_ = 0;
    lastUs_ = nowUs;
    // Start settled: the damper already where the W1 input wants it.
    const double t = targetPercent();
    position_ = t < 0 ? 0.0 : std::clamp(t / 100.0 / FullyOpenFlowShare, 0.0, 1.0);
    refreshLiveCells();
}

// ------------------------------------------------------------------------------ memory

std::vector<uint8_t> Controller::peek(uint16_t addr, size_t count) const
{
    std::vector<uint8_t> v;
    v.reserve(count);
    for (size_t i = 0; i < count; ++i)
        v.push_back(mem_[static_cast<uint16_t>(addr + i)]);
    return v;
}

void Controller::poke(uint16_t addr, const std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        mem_[static_cast<uint16_t>(addr + i)] = bytes[i];
}

uint16_t Controller::peekBe16(uint16_t a) const
{
    return static_cast<uint16_t>((mem_[a] << 8) | mem_[static_cast<uint16_t>(a + 1)]);
}

void Controller::pokeBe16(uint16_t a, uint16_t v)
{
    mem_[a] = static_cast<uint8_t>(v >> 8);
    mem_[static_cast<uint16_t>(a + 1)] = static_cast<uint8_t>(v);
}

uint32_t Controller::peekBe32(uint16_t a) const
{
    return (static_cast<uint32_t>(peekBe16(a)) << 16) | peekBe16(static_cast<uint16_t>(a + 2));
}

void Controller::pokeBe32(uint16_t a, uint32_t v)
{
    pokeBe16(a, static_cast<uint16_t>(v >> 16));
    pokeBe16(static_cast<uint16_t>(a + 2), static_cast<uint16_t>(v));
}

uint16_t Controller::peekLe16(uint16_t a) const
{
    return static_cast<uint16_t>(mem_[a] | (mem_[static_cast<uint16_t>(a + 1)] << 8));
}

void Controller::pokeLe16(uint16_t a, uint16_t v)
{
    mem_[a] = static_cast<uint8_t>(v);
    mem_[static_cast<uint16_t>(a + 1)] = static_cast<uint8_t>(v >> 8);
}

void Controller::pokeFloatLe(uint16_t a, float v)
{
    const uint32_t bits = std::bit_cast<uint32_t>(v);
    pokeLe16(a, static_cast<uint16_t>(bits));
    pokeLe16(static_cast<uint16_t>(a + 2), static_cast<uint16_t>(bits >> 16));
}

float Controller::peekFloatLe(uint16_t a) const
{
    return std::bit_cast<float>(static_cast<uint32_t>(peekLe16(a)) | (static_cast<uint32_t>(peekLe16(static_cast<uint16_t>(a + 2))) << 16));
}

std::string Controller::text16(uint16_t addr) const
{
    std::string s(reinterpret_cast<const char*>(&mem_[addr]), 16);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

void Controller::setText16(uint16_t addr, const std::string& text)
{
    for (int i = 0; i < 16; ++i)
        mem_[static_cast<uint16_t>(addr + i)] = i < static_cast<int>(text.size()) ? static_cast<uint8_t>(text[i]) : ' ';
}

Identity Controller::identity() const
{
    return Identity{peekBe16(mem::Identity), peekBe16(mem::Identity + 2), mem_[mem::Identity + 4],
                    mem_[mem::Identity + 5], mem_[mem::Identity + 6]};
}

void Controller::setIdentity(const Identity& id)
{
    pokeBe16(mem::Identity, id.w1);
    pokeBe16(mem::Identity + 2, id.w2);
    mem_[mem::Identity + 4] = id.d5;
    mem_[mem::Identity + 5] = id.type;
    mem_[mem::Identity + 6] = id.last;
}

uint8_t Controller::answerPattern() const
{
    const uint8_t code = addressCode();
    return validAddressCode(code) ? code : zb::PatternPP;
}

uint32_t Controller::deviceKey() const
{
    const Identity id = identity();
    return zb::DeviceKey(id.w1, id.w2, id.d5, id.type, id.last);
}

Unlocked Controller::requiredLevel(uint16_t a)
{
    if ((a >= 0x0001 && a <= 0x000F) || (a >= 0x0090 && a <= 0x009F) || (a >= 0x0100 && a <= 0x0113))
        return Unlocked::Factory;
    if ((a >= 0x0016 && a <= 0x007F) || (a >= 0x0114 && a <= 0x0123))
        return Unlocked::Oem;
    return Unlocked::None;
}

bool Controller::writable(uint16_t addr, size_t count) const
{
    for (size_t i = 0; i < count; ++i)
        if (static_cast<uint8_t>(requiredLevel(static_cast<uint16_t>(addr + i))) > static_cast<uint8_t>(unlocked_))
            return false;
    return true;
}

// ------------------------------------------------------------------------------ commands

Controller::Reply Controller::execute(const uint8_t* body, size_t n, bool broadcast, uint64_t nowUs)
{
    advanceTo(nowUs);
    Reply r = [&]() -> Reply {
        if (n == 0 || !lengthFits(body[0], n))
            return refuse();
        const uint8_t* p = body + 1;
        switch (body[0]) {
        case CmdReadMem: {
            const uint16_t addr = be16(p);
            const uint8_t count = p[2];
            if (count < 1 || count > 7 || addr + count > 0x10000)
                return refuse();
            return ok(peek(addr, count));
        }
        case CmdWriteMem: {
            const uint16_t addr = be16(p);
            const size_t count = n - 3;
            if (addr + count > 0x10000 || !writable(addr, count))
                return refuse();
            poke(addr, std::vector<uint8_t>(p + 2, p + 2 + count));
            return ok();
        }
        case CmdSetW1Range:
        case CmdSetU5Range: {
            const uint16_t start = be16(p), span = be16(p + 2);
            if (start + span > 10000)
                return refuse();
            const uint16_t cell = body[0] == CmdSetW1Range ? mem::W1Range : mem::U5Range;
            pokeBe16(cell, start);
            pokeBe16(cell + 2, span);
            return ok();
        }
        case CmdGetW1Range:
        case CmdGetU5Range:
            return ok(peek(body[0] == CmdGetW1Range ? mem::W1Range : mem::U5Range, 4));
        case CmdGetBusAddress:
            return ok({addressCode()});
        case CmdSetOverride: {
            const uint8_t code = p[0];
            const bool known = code <= ModeVmid || (code >= ModeVnom && code <= ModeStop);
            // V'mid exists only for the volume-flow function.
            if (!known || (code == ModeVmid && mem_[mem::Function] == 1))
                return refuse();
            mode_ = code;
            return ok();
        }
        case CmdGetConfigInfo: {
            std::vector<uint8_t> d{0x01};
            putBe16(d, 0x0001);
            putBe16(d, 0x0000);
            putBe16(d, tableId_);
            return ok(d);
        }
        case CmdGetFirmware: {
            std::vector<uint8_t> d;
            putBe16(d, firmware_);
            putBe16(d, 0x0100);  // hardware revision
            putBe16(d, 0x0102);  // boot loader
            return ok(d);
        }
        case CmdGetAlarms:
            return ok({alarms_});
        case CmdGetFlowLimits: {
            std::vector<uint8_t> d;
            putBe16(d, peekBe16(mem::Vnom));
            putBe16(d, peekBe16(mem::VLevels + 4));
            putBe16(d, clampToU16(vminAbsPercent() * 100));
            return ok(d);
        }
        case CmdSetSetpoint: {
            const uint16_t v = be16(p);
            if (v > 10000 && v != 0xFFFF)
                return refuse();
            setpoint_ = v;
            return ok();
        }
        case CmdSetAddressBySerial: {
            const Identity id = identity();
            const uint8_t pattern = p[5];
            if (!validAddressCode(pattern))
                return refuse();
            if (be16(p) != id.w1 || be16(p + 2) != id.w2 || p[4] != id.last)
                return refuse();  // not meant for this controller
            setAddressCode(pattern);
            return ok();
        }
        case CmdGetSetpoint: {
            std::vector<uint8_t> d;
            putBe16(d, w1InputMv_);
            putBe16(d, reportedSetpoint());
            return ok(d);
        }
        case CmdGetIdentity:
            return ok(peek(mem::Identity, 7));
        case CmdGetActualValue: {
            std::vector<uint8_t> d;
            putBe16(d, clampToU16(actualPercent() * 100));
            putBe16(d, clampToU16(peekBe16(mem::Vnom) * actualPercent() / 100));
            return ok(d);
        }
        case CmdGetVLevels:
            return ok(peek(mem::VLevels, 6));
        case CmdLock:
            unlocked_ = Unlocked::None;
            return ok();
        case CmdSetVLevels: {
            const uint16_t vmin = be16(p), vmid = be16(p + 2), vmax = be16(p + 4);
            if (vmin > 10000 || vmid > 10000 || vmax > 10000)
                return refuse();
            pokeBe16(mem::VLevels, vmin);
            pokeBe16(mem::VLevels + 2, vmid);
            pokeBe16(mem::VLevels + 4, vmax);
            return ok();
        }
        case CmdGetTextAddresses: {
            std::vector<uint8_t> d;
            putBe16(d, mem::OemText);
            putBe16(d, mem::PositionText);
            putBe16(d, mem::TypeText);
            return ok(d);
        }
        case CmdGetMode:
            // Older firmware reports the mode in the second byte.
            return firmware_ >= 0x0220 ? ok({mode_, 0}) : ok({0, mode_});
        case CmdUnlock: {
            const uint32_t key = (static_cast<uint32_t>(be16(p)) << 16) | be16(p + 2);
            Unlocked opens = Unlocked::None;
            if (key == deviceKey())
                opens = Unlocked::Factory;
            else if (key == oemKey())
                opens = Unlocked::Oem;
            if (opens == Unlocked::None)
                return refuse();
            unlocked_ = std::max(unlocked_, opens);
            return ok();
        }
        default:
            return refuse();
        }
    }();
    if (broadcast)
        r.answer = false;
    advanceTo(nowUs);  // settings may have changed the live values
    refreshLiveCells();
    return r;
}

// ------------------------------------------------------------------------------ air-flow model

double Controller::conductance() const
{
    const double raw = firmware_ >= 0x0204 ? peekBe32(mem::Conductance32) : peekBe16(mem::Conductance16) * 10.0;
    return raw / 100.0;
}

double Controller::density() const
{
    return peekBe16(mem::Density) / 1024.0;
}

double Controller::vminAbsPercent() const
{
    const double raw = peekBe16(mem::VLevels) / 100.0;
    // Firmware 2.20 and 2.21 keep V'min as a share of V'max.
    if (firmware_ == 0x0220 || firmware_ == 0x0221)
        return peekBe16(mem::VLevels + 4) / 100.0 * raw / 100.0;
    return raw;
}

double Controller::levelToFlowPercent(double b) const
{
    const double vmax = peekBe16(mem::VLevels + 4) / 100.0;
    if (firmware_ >= 0x0220) {
        const double vmin = vminAbsPercent();
        return vmin + b * (vmax - vmin) / 100.0;
    }
    const double vmin = peekBe16(mem::VLevels) / 100.0;
    return (b + vmin - b * vmin / 100.0) * vmax / 100.0;
}

double Controller::w1RelativePercent() const
{
    const double start = peekBe16(mem::W1Range), span = peekBe16(mem::W1Range + 2);
    if (span <= 0)
        return 0;
    return std::clamp((w1InputMv_ - start) / span * 100.0, 0.0, 100.0);
}

double Controller::targetPercent() const
{
    switch (mode_) {
    case ModeAuto:
        return levelToFlowPercent(setpoint_ <= 10000 ? setpoint_ / 100.0 : w1RelativePercent());
    case ModeVmin: return vminAbsPercent();
    case ModeVmid: return levelToFlowPercent(peekBe16(mem::VLevels + 2) / 100.0);
    case ModeVmax: return peekBe16(mem::VLevels + 4) / 100.0;
    case ModeVnom: return 100.0;
    default: return -1;
    }
}

uint16_t Controller::reportedSetpoint() const
{
    if (pinnedSetpoint_ >= 0)
        return static_cast<uint16_t>(pinnedSetpoint_);
    if (mode_ == ModeAuto && firmware_ < 0x0220)
        return clampToU16((setpoint_ <= 10000 ? setpoint_ / 100.0 : w1RelativePercent()) * 100);
    const double t = targetPercent();
    return t < 0 ? 0xFFFF : clampToU16(t * 100);
}

double Controller::actualPercent() const
{
    return position_ * FullyOpenFlowShare * 100.0;
}

double Controller::pressurePa() const
{
    const double c = conductance();
    if (c <= 0)
        return 0;
    const double v = peekBe16(mem::Vnom) * actualPercent() / 100.0;
    return density() * (v / c) * (v / c);
}

void Controller::advanceTo(uint64_t nowUs)
{
    if (nowUs <= lastUs_) {
        refreshLiveCells();  // memory may have changed under the model
        return;
    }
    const double dt = static_cast<double>(nowUs - lastUs_) / 1e6;
    lastUs_ = nowUs;
    double target = position_;
    double speed = 1.0 / std::max<uint16_t>(peekBe16(mem::RunningTime), 1);  // full travel per running time
    switch (mode_) {
    case ModeOpen: target = 1; break;
    case ModeClose: target = 0; break;
    case ModeFastOpen: target = 1; speed *= 4; break;
    case ModeFastClose: target = 0; speed *= 4; break;
    case ModeStop: break;
    default: target = std::clamp(targetPercent() / 100.0 / FullyOpenFlowShare, 0.0, 1.0); break;
    }
    const double step = speed * dt;
    if (std::abs(target - position_) <= step) {
        moving_ = 0;
        position_ = target;
    } else {
        moving_ = target > position_ ? 1 : -1;
        position_ += moving_ * step;
    }
    refreshLiveCells();
}

void Controller::refreshLiveCells()
{
    pokeLe16(mem::MotorPosition, static_cast<uint16_t>(static_cast<int16_t>(std::lround(position_ * 10000))));

    uint16_t y;
    if (mem_[mem::ConfigFlags] & 0x02) {
        y = moving_ > 0 ? 10000 : moving_ < 0 ? 2000 : 6000;  // "6V +- 4V": direction and stop
    } else {
        const double ymin = peekBe16(mem::Ymin), ymax = peekBe16(mem::Ymin + 2);
        y = clampToU16(ymin + (ymax - ymin) * position_);
    }
    pokeLe16(mem::SignalY, y);
    pokeLe16(mem::SignalW1, w1InputMv_);
    const double u5start = peekBe16(mem::U5Range), u5span = peekBe16(mem::U5Range + 2);
    pokeLe16(mem::SignalU5, clampToU16(u5start + u5span * std::min(actualPercent(), 100.0) / 100.0));

    const double p = pressurePa();
    const double pmin = peekBe16(mem::Pmin), pmax = peekBe16(mem::Pmin + 2), pnom = peekBe16(mem::Pmin + 4);
    // A volume-signal sensor reports flow, a pressure sensor pressure, both against P'nom.
    const double measured = mem_[mem::SensorType] == 1 ? peekBe16(mem::Vnom) * actualPercent() / 100.0 : p;
    double sig = pnom > 0 ? pmin + (pmax - pmin) * measured / pnom : pmin;
    sig = std::clamp(sig, std::min(pmin, pmax), std::max(pmin, pmax));
    pokeLe16(mem::SensorSignal, clampToU16(sig));
    pokeLe16(mem::SensorPressure, clampToU16(p));
    for (const auto& [addr, value] : pinned_)
        pokeLe16(addr, value);
}

} // namespace kadex::sim
