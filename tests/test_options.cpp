// The options dialog without widgets, on the main-window core against the in-process
// simulator: the password and density rules, OK in its steps, Cancel.
#include "QtPrinters.h"
#include "core/OptionsFlow.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/IniFile.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"
#include "sim/Controller.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include "tests/WaitFor.h"

#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

using namespace kadex;
using namespace std::chrono;
using sim::SimBus;

namespace {

using test::waitFor;

class Options : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadToolIniRecords(TIniFile());
        IniPath.LogDatei = dir.filePath(QStringLiteral("log"));
        IniPath.DefaultDatei = dir.filePath(QStringLiteral("default"));
        PublishToolIni();
        bus = std::make_shared<SimBus>(sim::BusOptions::WithControllers(1));
        model = std::make_unique<WindowModel>(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        core = std::make_unique<TMainCore>(*model, std::make_unique<sim::SimTransport>(bus));
        core->SetPollPeriodMs(100);
        core->Com.SetPortPath(QStringLiteral("/dev/ttyFIRST"));
        core->Options.SetPorts({QStringLiteral("/dev/ttyFIRST"), QStringLiteral("/dev/ttySECOND")});
        core->Options.OnError = [this](const QString& t) { errors << t; };
        core->Start();
    }
    void TearDown() override { core.reset(); }
    void connect()
    {
        std::atomic<bool> ok{false};
        core->Flows.Post("connect", [&] { ok = core->COMVerbinden(); });
        ASSERT_TRUE(core->Flows.WaitIdle(20000));
        ASSERT_TRUE(ok.load());
        ASSERT_TRUE(model->visible(fld::ImageEqual));
    }
    // The OEM text in the simulated controller: only a read of its records shows it.
    void setDeviceOemText(const char* text)
    {
        std::vector<uint8_t> b(16, ' ');
        for (size_t i = 0; text[i] && i < 16; ++i)
            b[i] = static_cast<uint8_t>(text[i]);
        bus->poke(1, 0x0070, b);
    }
    void ok()
    {
        ASSERT_TRUE(core->Options.Accept());
        ASSERT_TRUE(core->Flows.WaitIdle(20000));
    }

    QTemporaryDir dir;
    std::shared_ptr<SimBus> bus;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TMainCore> core;
    QStringList errors;
};

} // namespace

TEST_F(Options, PasswordAndDensityFieldsKeepTheirBounds)
{
    struct Case {
        FieldId field;
        const char *typed, *shown;
    } cases[] = {
        {fld::EditPasswordInput, "abc", "0"},
        {fld::EditPasswordInput, "-7", "0"},
        {fld::EditPasswordInput, "4294967296", "4294967295"},
        {fld::EditPasswordInput, "9999999999", "4294967295"},
        {fld::EditPasswordInput, "4294967295", "4294967295"},
        {fld::EditPasswordInput, "12345", "12345"},
        {fld::EditVAVDichte, "2.5", "2.000"},
        {fld::EditVAVDichte, "-1", "0.000"},
        {fld::EditVAVDichte, "1.2", "1.2"},
    };
    for (const Case& c : cases) {
        model->setText(c.field, QString::fromUtf8(c.typed), Origin::User);
        EXPECT_EQ(model->text(c.field), QString::fromUtf8(c.shown)) << c.typed;
    }
}

TEST_F(Options, OkWithoutChangesNeitherReconnectsNorConverts)
{
    connect();
    const QString vnom = model->text(fld::EditVnomM3);
    setDeviceOemText("AFTER");
    core->Options.Show();
    EXPECT_EQ(model->items(fld::ComboBoxCOMNr).value(model->itemIndex(fld::ComboBoxCOMNr)), "/dev/ttyFIRST");
    ok();
    EXPECT_TRUE(errors.isEmpty()) << errors.join('|').toStdString();
    EXPECT_NE(model->text(fld::EditOEMInputOEM).trimmed(), "AFTER"); // not read again
    EXPECT_EQ(core->Com.PortPath(), "/dev/ttyFIRST");
    EXPECT_EQ(model->text(fld::EditVnomM3), vnom);
    EXPECT_EQ(model->unit(fld::EditVmaxM3), "m³/h");
    EXPECT_TRUE(model->visible(fld::ImageEqual));
    EXPECT_EQ(IniPath.LogDatei, dir.filePath(QStringLiteral("log")));
    EXPECT_TRUE(QFileInfo(IniPath.LogDatei).isDir()); // re-validated: made with its parents
}

TEST_F(Options, AnotherPortReconnectsOnIt)
{
    connect();
    setDeviceOemText("AFTER");
    core->Options.Show();
    model->setItemIndex(fld::ComboBoxCOMNr, 1, Origin::User);
    ok();
    EXPECT_EQ(core->Com.PortPath(), "/dev/ttySECOND");
    EXPECT_EQ(IniCom.COMPort, "/dev/ttySECOND");
    EXPECT_TRUE(core->Com.PortOpen());
    // Connected anew: the controller's records were read again.
    EXPECT_EQ(model->text(fld::EditOEMInputOEM).trimmed(), "AFTER");
    EXPECT_TRUE(model->enabled(fld::ButtonLesen));
    EXPECT_TRUE(model->visible(fld::ImageEqual));
}

TEST_F(Options, UnitChangeConvertsAndStaysEqualToTheDevice)
{
    connect();
    const double vnom = model->text(fld::EditVnomM3).toDouble();
    ASSERT_GT(vnom, 0);
    core->Options.Show();
    model->setItemIndex(fld::ComboBoxEinheit, 1, Origin::User); // l/s / Pa
    ok();
    EXPECT_EQ(IniConfig.EinheitIndex, 1);
    EXPECT_EQ(model->unit(fld::EditVmaxM3), "l/s");
    EXPECT_EQ(model->text(fld::EditVnomM3), QString::number(qRound(vnom / 3.6)));
    EXPECT_TRUE(model->visible(fld::ImageEqual));
    std::atomic<bool> read{false};
    core->Flows.Post("Lesen", [&] { read = core->ButtonLesenClick(); });
    ASSERT_TRUE(core->Flows.WaitIdle(20000));
    ASSERT_TRUE(read.load());
    EXPECT_EQ(model->text(fld::EditVnomM3), QString::number(qRound(vnom / 3.6)));
    EXPECT_TRUE(model->visible(fld::ImageEqual));
}

TEST_F(Options, UnusableFolderIsReportedAndKeepsTheOldOne)
{
    const QString before = IniPath.LogDatei;
    const QString file = dir.filePath(QStringLiteral("plain-file"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    struct Case {
        QString typed;
    } cases[] = {{QString()}, {file}};
    for (const Case& c : cases) {
        errors.clear();
        core->Options.Show();
        model->setText(fld::EditLogDateiAbl, c.typed, Origin::User);
        ok();
        ASSERT_EQ(errors.size(), 1);
        EXPECT_EQ(errors[0], IniMessageText.Msg(13) + '\n' + c.typed);
        EXPECT_EQ(IniPath.LogDatei, before);
    }
    // A new folder below a missing one is made and taken.
    const QString deep = dir.filePath(QStringLiteral("a/b/c"));
    errors.clear();
    core->Options.Show();
    model->setText(fld::EditDefaultDateiAbl, deep, Origin::User);
    ok();
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(IniPath.DefaultDatei, deep);
    EXPECT_TRUE(QFileInfo(deep).isDir());
}

TEST_F(Options, PasswordOrOemTextChangeRefreshesTheComparisonAndCancelRestores)
{
    connect();
    // Cancel: the texts of the show come back and nothing differs from the device.
    core->Options.Show();
    const QString password = model->text(fld::EditPasswordInput);
    const QString oemText = model->text(fld::EditOEMInputOpt);
    model->setText(fld::EditPasswordInput, QStringLiteral("777"), Origin::User);
    model->setText(fld::EditOEMInputOpt, QStringLiteral("NEUTEXT"), Origin::User);
    core->Options.Cancel();
    ASSERT_TRUE(core->Flows.WaitIdle(20000));
    EXPECT_EQ(model->text(fld::EditPasswordInput), password);
    EXPECT_EQ(model->text(fld::EditOEMInputOpt), oemText);
    ASSERT_TRUE(waitFor([&] { return model->visible(fld::ImageEqual); }, 5000));
    // OK: the OEM text is taken and shown, and a new password differs from the device's.
    core->Options.Show();
    model->setText(fld::EditPasswordInput, QStringLiteral("777"), Origin::User);
    model->setText(fld::EditOEMInputOpt, QStringLiteral("NEUTEXT"), Origin::User);
    ok();
    EXPECT_EQ(IniOem.OEMText, "NEUTEXT");
    EXPECT_EQ(model->text(fld::EditOEMInputOptAnzeige), "NEUTEXT");
    ASSERT_TRUE(waitFor([&] { return model->visible(fld::ImageNotEqual); }, 5000));
}
