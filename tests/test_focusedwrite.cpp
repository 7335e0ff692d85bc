// Ctrl+S against the simulated controller: for each focus group of the OEM tab, the sensor
// dialog and the QV tab, the writes that reach the controller (its telegram record and memory,
// expected bytes built here from the values typed), the status field meanwhile, the device copy
// and the indicator afterwards, and the action log line.
#include "QtPrinters.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/ActionLog.h"
#include "settings/ToolIni.h"
#include "sim/SimTransport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>
#include <mutex>
#include <random>
#include <set>

using namespace kadex;

namespace {

using Bytes = std::vector<uint8_t>;
// One write that reaches the controller: command, address (WriteMem) and data bytes.
struct Wire {
    int command;
    uint16_t addr;
    Bytes data;
    bool operator==(const Wire&) const = default;
};
void PrintTo(const Wire& w, std::ostream* os)
{
    *os << "cmd " << w.command << " @" << w.addr << " [";
    for (uint8_t b : w.data)
        *os << int(b) << ' ';
    *os << ']';
}

Bytes be16(unsigned v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
Bytes floatLe(float f)
{
    const auto u = std::bit_cast<uint32_t>(f);
    return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}
Bytes cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Wire mem(uint16_t addr, Bytes data) { return {0x02, addr, std::move(data)}; }
// A 16-character text as four memory writes, padded with blanks.
std::vector<Wire> text16(uint16_t addr, const QString& text)
{
    const QByteArray b = text.toLatin1().leftJustified(16, ' ', true);
    std::vector<Wire> w;
    for (int i = 0; i < 4; ++i)
        w.push_back(mem(uint16_t(addr + 4 * i), Bytes(b.begin() + 4 * i, b.begin() + 4 * i + 4)));
    return w;
}
constexpr uint16_t kMemEnd = 0x0210; // configuration, QV and the level/range cells

class FocusedWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        bus = std::make_shared<sim::SimBus>(sim::BusOptions::WithControllers(1));
        model = std::make_unique<WindowModel>(mainWindowFields());
        core = std::make_unique<TMainCore>(*model, std::make_unique<sim::SimTransport>(bus));
        core->SetPollPeriodMs(100000);
        core->ActionLog.SetFolder(dir.path());
        core->Start();
        core->FormCreate();
        bus->setObserver([this](const sim::TelegramRecord&) {
            std::lock_guard<std::mutex> lk(statusMutex);
            statuses.insert(model->caption(fld::PanelProgStatus));
        });
        std::atomic<bool> ok{false};
        core->Flows.Post("connect", [&] { ok = core->COMVerbinden(); });
        ASSERT_TRUE(core->Flows.WaitIdle(60000));
        ASSERT_TRUE(ok.load());
        ASSERT_TRUE(core->IsPcHwEqual());
    }
    void TearDown() override
    {
        if (core)
            core->Close();
    }

    Bytes memory() { return bus->peek(1, 0, kMemEnd); }
    // The writes in the record: memory writes, level and range commands, unlock and lock.
    std::vector<Wire> writes()
    {
        std::vector<Wire> w;
        for (const auto& r : bus->record()) {
            const int c = r.command();
            if (c == 0x02)
                w.push_back(mem(uint16_t(r.bytes[2] << 8 | r.bytes[3]), Bytes(r.bytes.begin() + 4, r.bytes.end() - 2)));
            else if (c == 0x03 || c == 0x13 || c == 0x3D)
                w.push_back({c, 0, Bytes(r.bytes.begin() + 2, r.bytes.end() - 2)});
        }
        return w;
    }
    int count(int command)
    {
        int n = 0;
        for (const auto& r : bus->record())
            n += r.command() == command;
        return n;
    }
    int logLines()
    {
        int n = 0;
        for (const QString& f : QDir(dir.path()).entryList({QStringLiteral("*.txt"), QStringLiteral("*.log")}, QDir::Files)) {
            QFile file(dir.filePath(f));
            if (file.open(QIODevice::ReadOnly))
                n += int(file.readAll().count("\r\n"));
        }
        return n;
    }
    // Ctrl+S as the window passes it on; the result of the write.
    bool press(int tab, const FocusedValue& focus)
    {
        model->setItemIndex(fld::PageControl1, tab);
        {
            std::lock_guard<std::mutex> lk(statusMutex);
            statuses.clear();
        }
        std::atomic<int> result{-1};
        if (!core->FocusedWrite.Request(focus, [&](bool ok) { result = ok ? 1 : 0; }))
            return false;
        EXPECT_TRUE(core->Flows.WaitIdle(60000));
        return result.load() == 1;
    }
    bool sawStatus(const QString& s)
    {
        std::lock_guard<std::mutex> lk(statusMutex);
        return statuses.count(s) > 0;
    }
    bool differs(const std::vector<FieldId>& fields)
    {
        for (const FieldDifference& d : core->Records().Differences())
            if (d.field && std::find(fields.begin(), fields.end(), *d.field) != fields.end())
                return true;
        return false;
    }

    QTemporaryDir dir;
    std::shared_ptr<sim::SimBus> bus;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TMainCore> core;
    std::mutex statusMutex;
    std::set<QString> statuses;
};

// A focus group: what the user changes, where the focus is, and what must reach the device.
struct Group {
    const char* name;
    int tab; // 0 OEM (Kalibrierung), 3 QV
    FocusedValue focus;
    std::vector<FieldId> shows;                   // where the comparison shows the change
    std::function<void(WindowModel&, std::mt19937&)> change;
    std::function<std::vector<Wire>(WindowModel&)> expected; // from the window's values
    const char* status;                            // shown while writing (before " setzen")
};

uint16_t spin(WindowModel& m, FieldId f) { return uint16_t(std::lround(m.value(f))); }
// A value other than the one shown, so that the change is seen.
void setSpin(WindowModel& m, FieldId f, std::mt19937& rng, int lo, int hi)
{
    int v = 0;
    do
        v = std::uniform_int_distribution<int>(lo, hi)(rng);
    while (v == std::lround(m.value(f)));
    m.setValue(f, v, Origin::User);
}
std::vector<Wire> qvHead()
{
    const auto ini = CurrentToolIni();
    return {mem(0x000A, be16(ini->QV.BetrOn)), mem(0x000C, be16(ini->QV.BetrRun))};
}
std::vector<Wire> operator+(std::vector<Wire> a, const std::vector<Wire>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// The constants follow the nominal value and the conductance; their bytes are checked against
// the device's own values at the end.
std::vector<Wire> konstanten() { return {mem(0x0118, {}), mem(0x011C, {}), mem(0x0120, {})}; }
QString word(std::mt19937& rng)
{
    return QStringLiteral("Raum %1").arg(std::uniform_int_distribution<int>(1, 99999)(rng));
}

std::vector<Group> groups()
{
    using M = WindowModel;
    using R = std::mt19937;
    return {
        {"nominal value", 0, {fld::EditVnomM3}, {fld::EditVnomM3},
         [](M& m, R& r) { m.setText(fld::EditVnomM3, QString::number(std::uniform_int_distribution<int>(300, 3000)(r)), Origin::User); },
         [](M& m) { return std::vector<Wire>{mem(0x0032, be16(m.text(fld::EditVnomM3).toUInt()))} + konstanten(); },
         "V'nom"},
        {"conductance", 0, {fld::EditVAVLwErmittelt}, {fld::EditVAVLwErmittelt},
         [](M& m, R& r) {
             m.setText(fld::EditVAVLwErmittelt, QString::number(std::uniform_int_distribution<int>(1000, 3000000)(r) / 100.0, 'f', 2), Origin::User);
         },
         [](M& m) {
             const auto lw = uint32_t(std::lround(m.text(fld::EditVAVLwErmittelt).toDouble() * 100));
             return std::vector<Wire>{mem(0x0114, be32(lw)), mem(0x002A, be16(std::min<uint32_t>(lw / 10, 65535)))} + konstanten();
         },
         "ermittelt"},
        {"sensor", 0, {fld::RadioButtonSensTypDruck}, {fld::SpinEditVAVPmin},
         [](M& m, R& r) { setSpin(m, fld::SpinEditVAVPmin, r, 0, 1900); },
         [](M& m) {
             return std::vector<Wire>{mem(0x001E, {2}), mem(0x0048, be16(spin(m, fld::SpinEditVAVPmin))),
                                      mem(0x004A, be16(spin(m, fld::SpinEditVAVPmax))), mem(0x004C, be16(spin(m, fld::SpinEditVAVPnom))),
                                      mem(0x0044, be16(spin(m, fld::SpinEditVAVPtot))), mem(0x0046, be16(spin(m, fld::SpinEditVAVPverz))),
                                      mem(0x0028, be16(spin(m, fld::SpinEditVAVVtot)))};
         },
         "P'Dämpfung"},
        {"actuator", 0, {fld::RadioButtonAntr_HFX_ST}, {fld::SpinEditLZAntrieb},
         [](M& m, R& r) { setSpin(m, fld::SpinEditLZAntrieb, r, 10, 600); },
         [](M& m) {
             return std::vector<Wire>{mem(0x0038, be16(spin(m, fld::SpinEditVAVYmin))), mem(0x003A, be16(spin(m, fld::SpinEditVAVYmax))),
                                      mem(0x004E, be16(spin(m, fld::SpinEditVAVYRmin))), mem(0x0050, be16(spin(m, fld::SpinEditVAVYRmax))),
                                      mem(0x0016, {uint8_t(m.checked(fld::RadioButtonVAVYLinear) ? 1 : 3)}),
                                      mem(0x002E, be16(spin(m, fld::SpinEditLZAntrieb)))};
         },
         "Laufzeit"},
        {"OEM text", 0, {fld::EditOEMInputOEM}, {fld::EditOEMInputOEM},
         [](M& m, R& r) {
             m.setChecked(fld::RadioButtonOEMInputOEM, true, Origin::User);
             m.setText(fld::EditOEMInputOEM, word(r), Origin::User);
         },
         [](M& m) { return text16(0x0070, m.text(fld::EditOEMInputOEM)); },
         "OEM"},
        {"position text", 0, {fld::EditPositionInput_OEM}, {fld::EditPositionInput},
         [](M& m, R& r) { m.setText(fld::EditPositionInput_OEM, word(r), Origin::User); },
         [](M& m) { return text16(0x0080, m.text(fld::EditPositionInput_OEM)); },
         "Position"},
        {"input ranges", 0, {fld::RadioButtonMode_W1_0_10V_OEM}, {fld::EditW1Max},
         [](M& m, R& r) { m.setText(fld::EditW1Max, QString::number(std::uniform_int_distribution<int>(80, 99)(r) / 10.0, 'f', 1), Origin::User); },
         [](M& m) {
             const auto lo = unsigned(std::lround(m.text(fld::EditW1Min).toDouble() * 1000));
             const auto hi = unsigned(std::lround(m.text(fld::EditW1Max).toDouble() * 1000));
             const auto u5lo = unsigned(std::lround(m.text(fld::EditU5Min).toDouble() * 1000));
             const auto u5hi = unsigned(std::lround(m.text(fld::EditU5Max).toDouble() * 1000));
             return std::vector<Wire>{{0x03, 0, cat(be16(lo), be16(hi - lo))}, {0x13, 0, cat(be16(u5lo), be16(u5hi - u5lo))}};
         },
         "W1, U5"},
        {"flow levels", 0, {fld::EditVmaxM3_OEM}, {fld::EditVmaxPrz, fld::EditVmaxM3},
         [](M& m, R& r) { m.setText(fld::EditVmaxPrz, QString::number(std::uniform_int_distribution<int>(60, 99)(r)) + ".00", Origin::User); },
         [](M& m) {
             const auto vmax = unsigned(std::lround(m.text(fld::EditVmaxPrz).toDouble() * 100));
             const auto vmid = unsigned(std::lround(m.text(fld::EditVmidPrz).toDouble() * 100));
             const auto vmin = unsigned(std::lround(m.text(fld::EditVminPrz).toDouble() * 100));
             return std::vector<Wire>{{0x3D, 0, cat(cat(be16(vmin), be16(vmid)), be16(vmax))}};
         },
         "V'min, V'mid, V'max"},
        {"sensor dialog P'nom", 0, {fld::SpinEditVAVPnom, true}, {fld::SpinEditVAVPnom},
         [](M& m, R& r) { setSpin(m, fld::SpinEditVAVPnom, r, 50, 400); },
         [](M& m) { return std::vector<Wire>{mem(0x004C, be16(spin(m, fld::SpinEditVAVPnom)))}; },
         "P'nom"},
        {"sensor dialog V'Totzone", 0, {fld::SpinEditVAVVtot, true}, {fld::SpinEditVAVVtot},
         [](M& m, R& r) { setSpin(m, fld::SpinEditVAVVtot, r, 0, 20); },
         [](M& m) { return std::vector<Wire>{mem(0x0028, be16(spin(m, fld::SpinEditVAVVtot)))}; },
         "V'Totzone"},
        {"serial number", 3, {fld::SpinEditSnrNum}, {fld::SpinEditSnrNum},
         [](M& m, R& r) { setSpin(m, fld::SpinEditSnrNum, r, 1, 5535); },
         [](M& m) {
             const unsigned yw = spin(m, fld::SpinEditSnrJahr) * 100u + spin(m, fld::SpinEditSnrWoche);
             const unsigned ds = unsigned(m.itemIndex(fld::ComboBoxSnrTag)) * 10000u + spin(m, fld::SpinEditSnrNum);
             return qvHead() + std::vector<Wire>{mem(0x0001, be16(yw)), mem(0x0003, be16(ds)), mem(0x0005, {uint8_t(spin(m, fld::SpinEditSnrSuffix))}),
                                                 mem(0x0006, {uint8_t(spin(m, fld::SpinEditSnrDevFam))}),
                                                 mem(0x0007, {uint8_t(spin(m, fld::SpinEditSnrTestStation))})};
         },
         "Seriennummer"},
        {"flow sensor", 3, {fld::RadioButtonVAVSensorIntern}, {fld::RadioButtonVAVSensorIntern, fld::RadioButtonVAVSensorExtern},
         [](M& m, R&) { m.setChecked(m.checked(fld::RadioButtonVAVSensorIntern) ? fld::RadioButtonVAVSensorExtern : fld::RadioButtonVAVSensorIntern, true, Origin::User); },
         [](M& m) { return qvHead() + std::vector<Wire>{mem(0x0008, {uint8_t(m.checked(fld::RadioButtonVAVSensorIntern) ? 0 : 1)})}; },
         nullptr},
        {"K", 3, {fld::EditVAVK}, {fld::EditVAVK},
         [](M& m, R& r) { m.setText(fld::EditVAVK, QString::number(std::uniform_int_distribution<int>(100, 9999)(r) / 1000.0, 'f', 3), Origin::User); },
         [](M& m) { return qvHead() + std::vector<Wire>{mem(0x0110, floatLe(m.text(fld::EditVAVK).toFloat()))}; },
         "K"},
        {"T1", 3, {fld::SpinEditVAVT1}, {fld::SpinEditVAVT1}, [](M& m, R& r) { setSpin(m, fld::SpinEditVAVT1, r, 0, 5000); },
         [](M& m) { return qvHead() + std::vector<Wire>{mem(0x0100, be16(spin(m, fld::SpinEditVAVT1)))}; }, "T1"},
        {"Tv", 3, {fld::SpinEditVAVTv}, {fld::SpinEditVAVTv}, [](M& m, R& r) { setSpin(m, fld::SpinEditVAVTv, r, 0, 5000); },
         [](M& m) { return qvHead() + std::vector<Wire>{mem(0x0102, be16(spin(m, fld::SpinEditVAVTv)))}; }, "Tv"},
        {"Tn", 3, {fld::SpinEditVAVTn}, {fld::SpinEditVAVTn}, [](M& m, R& r) { setSpin(m, fld::SpinEditVAVTn, r, 0, 5000); },
         [](M& m) { return qvHead() + std::vector<Wire>{mem(0x0104, be16(spin(m, fld::SpinEditVAVTn)))}; }, "Tn"},
        {"adaptive", 3, {fld::CheckBoxVAVAdaptiv}, {fld::CheckBoxVAVAdaptiv},
         [](M& m, R&) { m.setChecked(fld::CheckBoxVAVAdaptiv, !m.checked(fld::CheckBoxVAVAdaptiv), Origin::User); },
         [](M& m) { return qvHead() + std::vector<Wire>{mem(0x0108, {uint8_t(m.checked(fld::CheckBoxVAVAdaptiv) ? 1 : 0)})}; },
         "Adaptiv"},
    };
}

// The cells a list of writes may change; the level and range commands keep theirs at 0x0200.
std::set<uint16_t> cellsOf(const std::vector<Wire>& w)
{
    std::set<uint16_t> cells;
    for (const Wire& x : w) {
        if (x.command == 0x3D)
            for (uint16_t a = 0x0200; a < 0x0206; ++a)
                cells.insert(a);
        else if (x.command == 0x03 || x.command == 0x13)
            for (uint16_t a = x.command == 0x03 ? 0x0206 : 0x020A, i = 0; i < 4; ++i)
                cells.insert(uint16_t(a + i));
        else
            for (uint16_t i = 0; i < (x.data.empty() ? 4 : x.data.size()); ++i)
                cells.insert(uint16_t(x.addr + i));
    }
    return cells;
}

// The cells that changed although no write of the group covers them.
std::vector<int> strayCells(const Bytes& before, const Bytes& after, const std::set<uint16_t>& allowed)
{
    std::vector<int> stray;
    for (uint16_t a = 0; a < kMemEnd; ++a)
        if (before[a] != after[a] && !allowed.count(a))
            stray.push_back(a);
    return stray;
}

// The calibration constant KonstVnom the device's own values give, and the one it holds.
std::pair<Bytes, Bytes> konstVnom(const Bytes& m)
{
    auto word = [&](uint16_t a) { return uint16_t(m[a] << 8 | m[a + 1]); };
    TOEM_Data d;
    d.Vnom = word(0x0032);
    d.Leitwert = uint32_t(word(0x0114)) << 16 | word(0x0116);
    d.Dichte = word(0x002C);
    d.Pnom = word(0x004C);
    d.Ptot = word(0x0044);
    d.SensorTyp = SENSOR_DRUCK;
    return {be32(uint32_t(CalcKonstanten(d, 1).KonstVnom)), Bytes(m.begin() + 0x0118, m.begin() + 0x011C)};
}

} // namespace

// Each group once: exactly its writes reach the controller, its cells and no others change,
// the status field names it meanwhile, the device copy follows, the log gets its line.
TEST_F(FocusedWrite, EachGroupWritesExactlyItsCells)
{
    std::mt19937 rng(20261211);
    for (const Group& g : groups()) {
        SCOPED_TRACE(g.name);
        g.change(*model, rng);
        const std::vector<Wire> want = g.expected(*model);
        ASSERT_FALSE(core->IsPcHwEqual()) << "the change is not seen";
        const Bytes before = memory();
        const int lines = logLines();
        bus->clearRecord();
        ASSERT_TRUE(press(g.tab, g.focus));

        std::vector<Wire> got = writes();
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            if (!want[i].data.empty() || want[i].command != 0x02)
                EXPECT_EQ(got[i], want[i]) << i;
            else
                EXPECT_EQ(got[i].addr, want[i].addr) << i;
        }
        // The unlock before and the lock after.
        EXPECT_EQ(count(0x4E), 1);
        EXPECT_EQ(count(0x3C), 1);
        const Bytes after = memory();
        const std::set<uint16_t> allowed = cellsOf(want);
        EXPECT_EQ(strayCells(before, after, allowed), std::vector<int>{});
        for (const Wire& w : want) {
            const bool given = w.command == 0x02 && !w.data.empty();
            EXPECT_TRUE(!given || Bytes(after.begin() + w.addr, after.begin() + w.addr + long(w.data.size())) == w.data)
                << w.addr;
        }

        // Recomputed constants hold what the device's values now give.
        const bool konst = std::any_of(want.begin(), want.end(), [](const Wire& w) { return w.addr == 0x0118; });
        EXPECT_TRUE(!konst || konstVnom(after).first == konstVnom(after).second);
        EXPECT_TRUE(!g.status || sawStatus(QString::fromUtf8(g.status) + " setzen"));
        EXPECT_EQ(model->caption(fld::PanelProgStatus), QString());
        EXPECT_TRUE(core->IsPcHwEqual()) << (core->Records().Differences().empty() ? QString() : core->Records().Differences().front().window).toStdString();
        EXPECT_TRUE(model->visible(fld::ImageEqual));
        EXPECT_EQ(logLines(), lines + (lines == 0 ? 2 : 1));
        EXPECT_TRUE(model->enabled(fld::ButtonSetzen));
    }
}

// A focus that belongs to no group writes nothing; the handshake and the lock still go out.
// On the Service tab, or with "Setzen" disabled, the key does nothing at all.
TEST_F(FocusedWrite, NoGroupOtherTabsAndDisabledWriteSendNothing)
{
    model->setText(fld::EditVAVK, QStringLiteral("2.500"), Origin::User);
    bus->clearRecord();
    ASSERT_TRUE(press(0, {fld::EditVmaxPrz}));
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(count(0x4E), 1);
    EXPECT_EQ(count(0x3C), 1);
    EXPECT_TRUE(differs({fld::EditVAVK}));

    const int lines = logLines();
    bus->clearRecord();
    for (int tab : {1, 2})
        EXPECT_FALSE(press(tab, {fld::EditVAVK}));
    model->setEnabled(fld::ButtonSetzen, false);
    EXPECT_FALSE(press(3, {fld::EditVAVK}));
    EXPECT_TRUE(bus->record().empty());
    EXPECT_EQ(logLines(), lines);
}

// Seeded random runs: a random group with a random value, and a change in another group
// left unwritten. Only the focused group's cells change in the controller's memory, and the
// other change is still listed as a difference afterwards.
TEST_F(FocusedWrite, RandomGroupsChangeOnlyTheirOwnCells)
{
    std::mt19937 rng(4711);
    const std::vector<Group> all = groups();
    for (int round = 0; round < 24; ++round) {
        const Group& g = all[rng() % all.size()];
        const Group* other = &g;
        while (other->tab == g.tab)
            other = &all[rng() % all.size()];
        SCOPED_TRACE(std::string(g.name) + " with " + other->name + " left");
        other->change(*model, rng);
        g.change(*model, rng);
        const std::set<uint16_t> allowed = cellsOf(g.expected(*model));
        const Bytes before = memory();
        ASSERT_TRUE(press(g.tab, g.focus));
        const Bytes after = memory();
        EXPECT_EQ(strayCells(before, after, allowed), std::vector<int>{});
        EXPECT_TRUE(differs(other->shows));
        EXPECT_FALSE(differs(g.shows));
        // Put the other change on the device too, for the next round.
        ASSERT_TRUE(press(other->tab, other->focus));
        EXPECT_TRUE(core->IsPcHwEqual());
    }
}
