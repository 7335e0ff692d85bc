// The texts and settings that worker threads read: snapshots swapped as a whole while readers
// read, and the settings file published when read.
#include "settings/IniFile.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

using namespace kadex;

namespace {

// A text record whose every text names one generation.
std::shared_ptr<const TTexts> textsOf(int generation)
{
    auto t = std::make_shared<TTexts>();
    const QString g = QString::number(generation);
    for (QString* s : {&t->Status.Betrieb, &t->Status.DataRead, &t->Status.PortLost, &t->Status.Auto,
                       &t->Status.Stopped, &t->Status.PortOther})
        *s = g;
    for (QString& s : t->Messages.MsgText)
        s = g;
    return t;
}

std::shared_ptr<const TToolIni> settingsOf(int generation)
{
    auto s = std::make_shared<TToolIni>();
    s->Com.COMNr = generation;
    s->Betrieb.VmaxPrz = generation;
    s->Betrieb.PositionText = QString::number(generation);
    s->QV.K = static_cast<float>(generation);
    s->PresetDPK[2].Pnom = generation;
    s->Oem.OEMText = QString::number(generation);
    return s;
}

bool wholeTexts(const TTexts& t)
{
    const QString& g = t.Status.Betrieb;
    bool same = t.Status.DataRead == g && t.Status.PortLost == g && t.Status.Auto == g && t.Status.Stopped == g
                && t.Status.PortOther == g && t.Status.ForMode(0) == g && t.Status.ForMode(10) == g;
    for (int n = 1; n <= 18; ++n)
        same = same && t.Messages.Msg(n) == g;
    return same;
}

bool wholeSettings(const TToolIni& s)
{
    const int g = s.Com.COMNr;
    return s.Betrieb.VmaxPrz == g && s.Betrieb.PositionText == QString::number(g) && s.QV.K == float(g)
           && s.PresetDPK[2].Pnom == g && s.Oem.OEMText == QString::number(g);
}

} // namespace

// Readers on several threads keep reading while a writer swaps new generations in: every
// snapshot a reader holds is one whole generation, and generations only move forward.
TEST(SettingsSnapshot, SwapsWhileReadersReadAreNeverTorn)
{
    SetTexts(textsOf(0));
    SetToolIni(settingsOf(0));
    constexpr int kGenerations = 3000;
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0}, backwards{0}, reads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&, r] {
            std::mt19937 rng(17 + r);
            int lastText = 0, lastSettings = 0;
            while (!stop) {
                const auto t = CurrentTexts();
                const auto s = CurrentToolIni();
                if (rng() % 8 == 0)
                    std::this_thread::yield(); // hold the snapshots across a swap now and then
                if (!wholeTexts(*t) || !wholeSettings(*s))
                    ++torn;
                const int gt = t->Status.Betrieb.toInt(), gs = s->Com.COMNr;
                if (gt < lastText || gs < lastSettings)
                    ++backwards;
                lastText = gt;
                lastSettings = gs;
                ++reads;
            }
        });
    }
    // On a loaded machine the readers may not have started before all swaps are done; the
    // swaps must overlap the reads for the test to mean anything.
    while (reads.load() < 3)
        std::this_thread::yield();
    for (int g = 1; g <= kGenerations; ++g) {
        SetTexts(textsOf(g));
        SetToolIni(settingsOf(g));
        if (g % 64 == 0)
            std::this_thread::yield();
    }
    stop = true;
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(backwards.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(CurrentTexts()->Status.Betrieb, QString::number(kGenerations));
    EXPECT_EQ(CurrentToolIni()->Betrieb.VmaxPrz, kGenerations);

    // A null snapshot stands for the defaults.
    SetTexts(nullptr);
    EXPECT_EQ(CurrentTexts()->Status.Betrieb, TIniStatusText{}.Betrieb);
    ResetToolIniRecords();
    EXPECT_EQ(CurrentToolIni()->QV.FenwixText, TIniQV{}.FenwixText);
}

// The GUI thread's working copy becomes what workers read only when published; reading the
// settings file publishes it.
TEST(SettingsSnapshot, WorkingCopiesArePublishedAsAWhole)
{
    ResetToolIniRecords();
    IniBetrieb.VmaxPrz = 1234;
    IniQV.K = 3.5f;
    EXPECT_EQ(CurrentToolIni()->Betrieb.VmaxPrz, TBetrieb{}.VmaxPrz) << "not yet published";
    PublishToolIni();
    EXPECT_EQ(CurrentToolIni()->Betrieb.VmaxPrz, 1234);
    EXPECT_EQ(CurrentToolIni()->QV.K, 3.5f);

    QTemporaryDir dir;
    const QString path = dir.filePath("KadexTool.ini");
    {
        TIniFile ini;
        ini.WriteInteger(u"QV", u"Tn", 777);
        ini.WriteInteger(u"DRUCKSENSOR", u"DPK600_Pnom", 650);
        ini.WriteString(u"OEM", u"OEMText", QStringLiteral("Werk 2"));
        ASSERT_TRUE(ini.Save(path));
    }
    ASSERT_TRUE(ReadToolIni(path));
    const auto s = CurrentToolIni();
    EXPECT_EQ(s->QV.Tn, 777);
    EXPECT_EQ(s->PresetDPK[SensorPreset600].Pnom, 650);
    EXPECT_EQ(s->Oem.OEMText, "Werk 2");
    EXPECT_EQ(s->Betrieb.VmaxPrz, IniBetrieb.VmaxPrz) << "the file's defaults, not the hand edit";

    IniStatusText.Betrieb = QStringLiteral("Operation running");
    EXPECT_NE(CurrentTexts()->Status.Betrieb, IniStatusText.Betrieb);
    PublishTexts();
    EXPECT_EQ(CurrentTexts()->Status.Betrieb, "Operation running");
    IniStatusText = TIniStatusText{};
    PublishTexts();
    ResetToolIniRecords();
}
