// Calibration-set files: the round trip through the window for each controller function,
// sensor type and actuator, a hand-made file, and damaged files that must change nothing.
#include "QtPrinters.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/IniFile.h"
#include "settings/ToolIni.h"
#include "settings/VavFile.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <random>

using namespace kadex;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& b)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(b);
}

// The Part's example columns, written by hand.
QByteArray handMade()
{
    const char* head = "Status 01-02-2024\tFühler\tAntrieb\tMode [2 .. 10 V, 0 .. 10 V, variabel]\tNom [m³/h]\tMax [m³/h]"
                       "\tMin [m³/h]\tMid [%]\tLeitwert\tDichte\tOEM\tPosition\tW1 Start[mV]\tW1 Stop[mV]\tU5 Start[mV]"
                       "\tU5 Stop[mV]\tP      0% [mV]\tP 100% [mV]\tP'nom [Pa]\tP'Schleichm. [Pa]\tP'Dämpfung [ms]"
                       "\tV'Totzone [%]\tY      0% [mV]\tY 100% [mV]\tYR      0% [mV]\tYR 100% [mV]"
                       "\tAntrieb Typ [1: Linear, 0: 6V ± 4 V]\tAntrieb Laufzeit [Sek.]\tPasswort\tHöhe über Meeresspiegel"
                       "\tMittlere Medium Temperatur\tFeuchte des Mediums\tFunktion\tFühlertyp";
    const char* data = "\tDPK-600\tvariabel\t2 .. 10 V\t1200\t1000\t300\t40.00\t123.45\t1.180\tAcme\tRaum 12\t2.0\t10.0"
                       "\t2.0\t10.0\t0\t10000\t600\t6\t30\t5\t0\t10000\t0\t10000\t0\t120\t4711\t350\t21.5\t45.00"
                       "\tVolumenstrom\t2";
    return QByteArray("Defaultdatei Kadex\t Version 2.11\r\n") + QString::fromUtf8(head).toLatin1() + "\r\n" +
           QString::fromUtf8(data).toLatin1() + "\r\n";
}

class VavFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadToolIniRecords(TIniFile()); // the presets' defaults
        PublishToolIni();
        bus = std::make_shared<sim::SimBus>(sim::BusOptions::WithControllers(1));
        model = std::make_unique<WindowModel>(mainWindowFields());
        core = std::make_unique<TMainCore>(*model, std::make_unique<sim::SimTransport>(bus));
        core->SetPollPeriodMs(100000);
        core->ActionLog.SetFolder(dir.filePath("logs"));
        core->Start();
        core->FormCreate();
        run([this] { return core->COMVerbinden(); });
    }
    bool run(const std::function<bool()>& op)
    {
        std::atomic<bool> r{false};
        core->Flows.Post("test", [&] { r = op(); });
        EXPECT_TRUE(core->Flows.WaitIdle(60000));
        return r.load();
    }
    void defaultLaden()
    {
        ASSERT_TRUE(model->click(fld::ButtonDefaultLaden));
        ASSERT_TRUE(core->Flows.WaitIdle(60000));
    }
    QString dataLine(const QString& path) { return QString::fromLatin1(readAll(path)).split("\r\n").value(2); }
    // What the fields say of the calibration set, read off the model.
    QStringList fieldState()
    {
        QStringList s;
        for (FieldId f : {fld::EditVnomM3, fld::EditVmaxM3_OEM, fld::EditVminM3_OEM, fld::EditVmidPrz, fld::EditVAVLwErmittelt,
                          fld::EditVAVDichte, fld::EditOEMInputOEM, fld::EditPositionInput, fld::EditPasswordInput})
            s << model->text(f);
        for (FieldId f : {fld::SpinEditVAVPmin, fld::SpinEditVAVPnom, fld::SpinEditVAVPverz, fld::SpinEditVAVYmax,
                          fld::SpinEditLZAntrieb})
            s << QString::number(model->value(f));
        for (FieldId f : {fld::RadioButtonSensTypVolumenstr, fld::RadioButtonSensTypDSK3Druck, fld::RadioButtonVolumenstrom,
                          fld::RadioButtonAntr_Variabel, fld::RadioButtonAntr_RGT, fld::RadioButtonVAVYLinear})
            s << (model->checked(f) ? "1" : "0");
        s << QString::number(core->Ctx.UnitIndex.load());
        return s;
    }

    QTemporaryDir dir;
    std::shared_ptr<sim::SimBus> bus;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TMainCore> core;
};

} // namespace

TEST_F(VavFiles, SavedFileAppliesToTheSameFieldsForEachFunctionSensorAndActuator)
{
    struct Case {
        bool pressure;
        FieldId sensorType;
        FieldId actuator;
        int unit;
    } cases[] = {
        {false, fld::RadioButtonSensTypDruck, fld::RadioButtonAntr_HFX_ST, 0},
        {false, fld::RadioButtonSensTypDSK3Druck, fld::RadioButtonAntr_RGT, 1},
        {false, fld::RadioButtonSensTypVolumenstr, fld::RadioButtonAntr_Variabel, 0},
        {true, fld::RadioButtonSensTypDruck, fld::RadioButtonAntr_Variabel, 0},
        {true, fld::RadioButtonSensTypDSK3Druck, fld::RadioButtonAntr_HFX_ST, 0},
    };
    std::mt19937 rng(20);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n);
        run([&] {
            model->setChecked(c.pressure ? fld::RadioButtonDruckanwendung : fld::RadioButtonVolumenstrom, true);
            core->Dialogs.RegFkt.SetRegForm();
            core->ValueEntry.ConvertUnits(c.unit);
            model->setChecked(c.sensorType, true, Origin::User);
            model->setChecked(c.actuator, true, Origin::User);
            model->setText(fld::EditVnomM3, QString::number(pick(500, 3000)), Origin::User);
            model->setText(fld::EditOEMInputOEM, QStringLiteral("Kunde %1").arg(n), Origin::User);
            if (c.actuator == fld::RadioButtonAntr_Variabel)
                model->setValue(fld::SpinEditLZAntrieb, pick(30, 200), Origin::User);
            return true;
        });
        const QString a = dir.filePath(QStringLiteral("a%1.vav").arg(n));
        ASSERT_EQ(core->DefaultFile.Save(a), QString());
        EXPECT_TRUE(model->enabled(fld::ButtonDefaultLaden));
        const QStringList saved = fieldState();
        // Something else in the fields: the other function, sensor, actuator, units and values.
        run([&] {
            model->setChecked(c.pressure ? fld::RadioButtonVolumenstrom : fld::RadioButtonDruckanwendung, true);
            core->Dialogs.RegFkt.SetRegForm();
            core->ValueEntry.ConvertUnits(c.unit == 0 ? 2 : 0);
            model->setChecked(fld::RadioButtonSensTypDruck, true, Origin::User);
            model->setChecked(fld::RadioButtonAntr_RGT, true, Origin::User);
            model->setText(fld::EditVnomM3, "4000", Origin::User);
            model->setText(fld::EditOEMInputOEM, "anders", Origin::User);
            return true;
        });
        ASSERT_NE(fieldState(), saved);
        const auto before = bus->peek(1, 0x0016, 0x60);
        ASSERT_EQ(core->DefaultFile.Open(a), QString());
        defaultLaden();
        EXPECT_EQ(fieldState(), saved);
        EXPECT_EQ(bus->peek(1, 0x0016, 0x60), before); // never the device
        const QString b = dir.filePath(QStringLiteral("b%1.vav").arg(n));
        ASSERT_EQ(core->DefaultFile.Save(b), QString());
        EXPECT_EQ(dataLine(b), dataLine(a));
        ++n;
    }
}

TEST_F(VavFiles, FormatOfASavedFile)
{
    const QString a = dir.filePath("x.vav");
    ASSERT_EQ(core->DefaultFile.Save(a), QString());
    const QByteArray bytes = readAll(a);
    EXPECT_TRUE(bytes.startsWith("Defaultdatei Kadex\t Version 2.11\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 3);
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    const QList<QByteArray> lines = bytes.split('\n');
    EXPECT_EQ(lines[1].count('\t'), 33);
    EXPECT_EQ(lines[2].count('\t'), 33);
    EXPECT_TRUE(lines[1].contains("\tF\xFChler\t")); // code page 1252
    EXPECT_TRUE(lines[1].contains("\tMid [%]\t"));
}

TEST_F(VavFiles, HandMadeFileOpensAndApplies)
{
    const QString p = dir.filePath("hand.vav");
    writeAll(p, handMade());
    ASSERT_EQ(core->DefaultFile.Open(p), QString());
    defaultLaden();
    EXPECT_EQ(model->text(fld::EditVnomM3), "1200");
    EXPECT_EQ(model->text(fld::EditOEMInputOEM), "Acme");
    EXPECT_EQ(model->text(fld::EditPositionInput), "Raum 12");
    EXPECT_EQ(model->text(fld::EditPositionInput_OEM), "Raum 12");
    EXPECT_EQ(model->value(fld::SpinEditVAVPnom), 600);
    EXPECT_EQ(model->value(fld::SpinEditLZAntrieb), 120);
    EXPECT_TRUE(model->checked(fld::RadioButtonVAVY2_10V));
    EXPECT_EQ(model->text(fld::EditPasswordInput), "4711");
    EXPECT_EQ(model->text(fld::EditTemp), "21.5");
    EXPECT_TRUE(model->checked(fld::RadioButtonDPK600));
    EXPECT_TRUE(model->checked(fld::RadioButtonSensTypDruck));
}

TEST_F(VavFiles, DamagedFilesAreRefusedNamingLineAndColumnAndChangeNothing)
{
    const QByteArray good = handMade();
    const auto replaceColumn = [&](int line, int col, const QByteArray& with) {
        QList<QByteArray> lines = good.split('\n');
        QList<QByteArray> cols = lines[line - 1].chopped(1).split('\t');
        cols[col - 1] = with;
        lines[line - 1] = cols.join('\t') + '\r';
        return lines.join('\n');
    };
    struct Case {
        const char* name;
        QByteArray bytes;
        int line, column;
    } cases[] = {
        {"column missing", QByteArray(good).replace("\t45.00", ""), 3, 33},
        {"utf-8", QString::fromLatin1(good).toUtf8(), 2, 2},
        {"byte-order mark", "\xEF\xBB\xBF" + good, 1, 1},
        {"undefined byte", replaceColumn(3, 11, "Ac\x81me"), 3, 11},
        {"line missing", good.left(good.lastIndexOf("\r\n", good.size() - 3) + 2), 3, 0},
        {"extra line", good + "\r\n", 4, 0},
        {"no CR", QByteArray(good).replace("\r\n", "\n"), 1, 0},
        {"out of range", replaceColumn(3, 18, "12000"), 3, 18},
        {"not a number", replaceColumn(3, 5, "12O0"), 3, 5},
        {"junk", QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0", 10), 1, 1},
        {"long text", replaceColumn(3, 12, "Raum 12 ganz hinten links"), 3, 12},
    };
    run([&] { return core->ButtonLesenClick(); });
    const QString p = dir.filePath("bad.vav");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeAll(p, c.bytes);
        const QStringList before = fieldState();
        const QString header = core->OEMData.DefaultHeader, values = core->OEMData.DefaultValues;
        VavError why;
        const QString msg = core->DefaultFile.Open(p, &why);
        EXPECT_FALSE(msg.isEmpty());
        EXPECT_EQ(why.line, c.line) << why.Text().toStdString();
        EXPECT_EQ(why.column, c.column) << why.Text().toStdString();
        EXPECT_TRUE(msg.contains(QStringLiteral("Zeile %1").arg(c.line)));
        EXPECT_EQ(core->OEMData.DefaultValues, values);
        EXPECT_EQ(core->OEMData.DefaultHeader, header);
        EXPECT_FALSE(model->enabled(fld::ButtonDefaultLaden));
        EXPECT_EQ(fieldState(), before);
    }
    EXPECT_EQ(core->DefaultFile.Open(dir.filePath("x.txt")), "Unbekannter Dateityp!");
}
