#include "settings/Texts.h"

#include "settings/Snapshot.h"

namespace kadex {

TIniStatusText IniStatusText;
TIniMessageText IniMessageText;
TIniText IniText;
TIniEinstDatText IniEinstDatText;
TIniLogFileText IniLogFileText;
TIniButtonText IniButtonText;

namespace {
SnapshotSlot<TTexts>& textsSlot()
{
    static SnapshotSlot<TTexts> slot;
    return slot;
}
} // namespace

std::shared_ptr<const TTexts> CurrentTexts()
{
    return textsSlot().get();
}

void SetTexts(std::shared_ptr<const TTexts> texts)
{
    textsSlot().set(std::move(texts));
}

void PublishTexts()
{
    SetTexts(std::make_shared<const TTexts>(TTexts{IniStatusText, IniMessageText, IniText, IniEinstDatText, IniLogFileText, IniButtonText}));
}

QString TIniStatusText::ForMode(int mode) const
{
    switch (mode) {
    case 0: return Auto;
    case 1: return Auf;
    case 2: return Zu;
    case 3: return Vmax;
    case 4: return Vmin;
    case 5: return Vmid;
    case 7: return Vnom;
    case 8: return SchnellZu;
    case 9: return SchnellAuf;
    case 10: return Stopped;
    default: return {};
    }
}

} // namespace kadex
