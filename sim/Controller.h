#pragma once
// One simulated room-air controller: its 64 KiB memory, the command set as the device
// executes it, the protection levels of its memory and a small air-flow model that makes the
// live values move. Not thread-safe on its own; the bus serialises every access.
#include <array>
#include <map>
#include <cstdint>
#include <string>
#include <vector>

namespace kadex::sim {

// The seven identity bytes at 0x0001 (the controller-parameter area).
struct Identity {
    uint16_t w1 = 812;   // year * 100 + week
    uint16_t w2 = 4711;  // day * 10000 + running number
    uint8_t d5 = 0;      // suffix; enters only the device key
    uint8_t type = 3;    // device family
    uint8_t last = 1;    // test station
    // "00812-04711-003-001"
    std::string text() const;
    bool operator==(const Identity&) const = default;
};

struct ControllerSetup {
    Identity identity;
    uint8_t addressCode = 0x01;  // bus address code at 0x000E (= the header pattern it answers)
    uint16_t firmware = 0x0308;
    uint16_t tableId = 0x0310;   // configuration table ID (GetConfigInfo d6-d7)
    uint32_t password = 12345;   // OEM password at 0x0018
};

// Memory cells the simulator relies on. Configuration values are big-endian, live values
// (from 0x0454) little-endian.
namespace mem {
inline constexpr uint16_t Identity = 0x0001;      // 7 bytes
inline constexpr uint16_t QvFlags = 0x0008;
inline constexpr uint16_t BetrOn = 0x000A;       // BetrOn, BetrRun: 0 like the tool's settings
inline constexpr uint16_t BetrRun = 0x000C;
inline constexpr uint16_t AddressCode = 0x000E;
inline constexpr uint16_t ConfigFlags = 0x0016;   // bit 1: actuator signal "6V +- 4V"
inline constexpr uint16_t Password = 0x0018;      // 4 bytes
inline constexpr uint16_t Function = 0x001D;      // 0 volume flow, 1 pressure
inline constexpr uint16_t SensorType = 0x001E;
inline constexpr uint16_t PressureSensorFamily = 0x0020;
inline constexpr uint16_t Vtot = 0x0028;
inline constexpr uint16_t Conductance16 = 0x002A; // conductance*100 / 10
inline constexpr uint16_t Density = 0x002C;       // kg/m3 * 1024
inline constexpr uint16_t RunningTime = 0x002E;   // actuator running time, s
inline constexpr uint16_t Vnom = 0x0032;
inline constexpr uint16_t Ymin = 0x0038;          // Ymin, Ymax
inline constexpr uint16_t Ymax = 0x003A;
inline constexpr uint16_t Ptot = 0x0044;          // Ptot, Pverz
inline constexpr uint16_t Pverz = 0x0046;
inline constexpr uint16_t Pmin = 0x0048;          // Pmin, Pmax, Pnom
inline constexpr uint16_t Pmax = 0x004A;
inline constexpr uint16_t Pnom = 0x004C;
inline constexpr uint16_t YRmin = 0x004E;         // YRmin, YRmax
inline constexpr uint16_t YRmax = 0x0050;
inline constexpr uint16_t Altitude = 0x0060;
inline constexpr uint16_t Temperature = 0x0062;
inline constexpr uint16_t Humidity = 0x0064;
inline constexpr uint16_t OemText = 0x0070;
inline constexpr uint16_t PositionText = 0x0080;
inline constexpr uint16_t TypeText = 0x0090;
inline constexpr uint16_t T1 = 0x0100;            // T1, Tv, Tn, KTa
inline constexpr uint16_t Tv = 0x0102;
inline constexpr uint16_t Tn = 0x0104;
inline constexpr uint16_t KTa = 0x0106;
inline constexpr uint16_t Adaptive = 0x0108;
inline constexpr uint16_t K = 0x0110;             // float, little-endian
inline constexpr uint16_t Conductance32 = 0x0114; // conductance*100, from firmware 0x0204
inline constexpr uint16_t KonstVnom = 0x0118;
inline constexpr uint16_t KonstWurzel = 0x011C;   // float, little-endian
inline constexpr uint16_t KonstPtot = 0x0120;
// Where this controller keeps the values of the level and range commands (big-endian words).
inline constexpr uint16_t VLevels = 0x0200;       // V'min (as sent), V'mid, V'max; 0.01 %
inline constexpr uint16_t W1Range = 0x0206;       // start, span; mV
inline constexpr uint16_t U5Range = 0x020A;       // start, span; mV
// Live values, little-endian.
inline constexpr uint16_t MotorPosition = 0x0454; // signed, 0.01 %
inline constexpr uint16_t SignalY = 0x0456;       // Y, W1, U5 in mV
inline constexpr uint16_t SignalW1 = 0x0458;
inline constexpr uint16_t SignalU5 = 0x045A;
inline constexpr uint16_t SensorSignal = 0x045C;  // mV
inline constexpr uint16_t SensorPressure = 0x045E; // Pa
} // namespace mem

enum class Unlocked : uint8_t { None = 0, Oem = 1, Factory = 2 };

// Operating modes as SetOverride takes them and GetMode reports them.
enum Mode : uint8_t {
    ModeAuto = 0, ModeOpen = 1, ModeClose = 2, ModeVmax = 3, ModeVmin = 4, ModeVmid = 5,
    ModeVnom = 7, ModeFastClose = 8, ModeFastOpen = 9, ModeStop = 10,
};

class Controller {
public:
    Controller(const ControllerSetup& setup, uint64_t nowUs);

    // Outcome of one telegram body (command code and payload).
    struct Reply {
        bool answer = true;   // false: the controller stays silent (broadcast)
        bool refused = false; // answered with bit 7 set
        std::vector<uint8_t> data;
    };
    // Runs a command. broadcast: the telegram was addressed to every controller; the command
    // takes effect but nothing is answered.
    Reply execute(const uint8_t* body, size_t n, bool broadcast, uint64_t nowUs);

    // Lets the air-flow model run up to nowUs and refreshes the live cells.
    void advanceTo(uint64_t nowUs);
    // Power cycle: volatile state back to its start values, memory kept.
    void powerUp(uint64_t nowUs);
    // Factory state of the memory for the given setup.
    void loadDefaults(const ControllerSetup& setup);

    // --- direct access -----------------------------------------------------------------
    uint8_t peek(uint16_t addr) const { return mem_[addr]; }
    std::vector<uint8_t> peek(uint16_t addr, size_t count) const;
    void poke(uint16_t addr, const std::vector<uint8_t>& bytes);
    uint16_t peekBe16(uint16_t addr) const;
    void pokeBe16(uint16_t addr, uint16_t v);
    uint32_t peekBe32(uint16_t addr) const;
    void pokeBe32(uint16_t addr, uint32_t v);
    uint16_t peekLe16(uint16_t addr) const;
    void pokeLe16(uint16_t addr, uint16_t v);
    float peekFloatLe(uint16_t addr) const;
    void pokeFloatLe(uint16_t addr, float v);
    // A 16-character text cell without trailing blanks.
    std::string text16(uint16_t addr) const;
    void setText16(uint16_t addr, const std::string& text);

    Identity identity() const;
    void setIdentity(const Identity& id);
    uint8_t addressCode() const { return mem_[mem::AddressCode]; }
    void setAddressCode(uint8_t code) { mem_[mem::AddressCode] = code; }
    // The header pattern this controller answers: its address code, or PP while the code is
    // none of the nine bus addresses (an unaddressed controller behaves as point-to-point).
    uint8_t answerPattern() const;
    uint32_t deviceKey() const;
    uint16_t oemKey() const { return static_cast<uint16_t>(peekBe32(mem::Password) & 0xFFFF); }

    uint16_t firmware() const { return firmware_; }
    void setFirmware(uint16_t fw) { firmware_ = fw; }
    uint16_t tableId() const { return tableId_; }
    void setTableId(uint16_t id) { tableId_ = id; }

    uint8_t mode() const { return mode_; }
    void setMode(uint8_t m) { mode_ = m; }
    // Setpoint of the bus (0.01 %), 0xFFFF = none (the W1 input leads).
    uint16_t busSetpoint() const { return setpoint_; }
    void setBusSetpoint(uint16_t v) { setpoint_ = v; }
    uint8_t alarms() const { return alarms_; }
    void setAlarms(uint8_t bits) { alarms_ = bits; }
    uint16_t w1InputMv() const { return w1InputMv_; }
    void setW1InputMv(uint16_t mv) { w1InputMv_ = mv; }
    Unlocked unlocked() const { return unlocked_; }

    // Model state, for tests and the status display.
    double damperPosition() const { return position_; }  // 0..1
    double actualPercent() const;                        // flow, % of V'nom
    double targetPercent() const;                        // flow the mode asks for, % of V'nom; <0: none
    double pressurePa() const;

    // Holds a live cell (little-endian word) at a value whatever the model computes, so tests
    // can put exact signals on the wire; unpinLive() lets the model take over again.
    void pinLive(uint16_t addr, uint16_t value) { pinned_[addr] = value; refreshLiveCells(); }
    void unpinLive() { pinned_.clear(); pinnedSetpoint_ = -1; }
    // The setpoint GetSetpoint reports, whatever the mode computes (-1: computed again).
    void pinReportedSetpoint(int value) { pinnedSetpoint_ = value; }

    // Which protection level a write to addr needs.
    static Unlocked requiredLevel(uint16_t addr);

private:
    Reply refuse() const { return Reply{true, true, {}}; }
    Reply ok(std::vector<uint8_t> data = {}) const { return Reply{true, false, std::move(data)}; }

    bool writable(uint16_t addr, size_t count) const;
    double conductance() const;      // m3/h per sqrt(Pa / (kg/m3))
    double density() const;          // kg/m3
    double vminAbsPercent() const;   // V'min as % of V'nom
    double levelToFlowPercent(double relPercent) const;
    double w1RelativePercent() const;
    uint16_t reportedSetpoint() const;
    void refreshLiveCells();

    std::array<uint8_t, 65536> mem_{};
    uint16_t firmware_ = 0x0308;
    uint16_t tableId_ = 0x0310;

    // volatile state
    uint8_t mode_ = ModeAuto;
    uint16_t setpoint_ = 0xFFFF;
    uint8_t alarms_ = 0;
    uint16_t w1InputMv_ = 5000;
    Unlocked unlocked_ = Unlocked::None;
    double position_ = 0.0;
    int moving_ = 0;  // -1 closing, 0 still, +1 opening (drives the "6V +- 4V" signal)
    uint64_t lastUs_ = 0;
    std::map<uint16_t, uint16_t> pinned_;
    int pinnedSetpoint_ = -1;
};

// A fully open damper passes this share of V'nom in the flow model.
inline constexpr double FullyOpenFlowShare = 1.25;

} // namespace kadex::sim
