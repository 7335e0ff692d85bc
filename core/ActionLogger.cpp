#include "core/ActionLogger.h"

#include "common/DateFormat.h"
#include "settings/ActionLog.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"

#include <QDateTime>
#include <QDir>

namespace kadex {

namespace {

QString caption(const WindowModel& m, FieldId f) { return m.caption(f).remove(QLatin1Char('&')); }

QString checkedCaption(const WindowModel& m, std::initializer_list<FieldId> group)
{
    for (FieldId f : group)
        if (m.checked(f))
            return m.caption(f);
    return {};
}

} // namespace

TActionLogger::TActionLogger(WindowModel& model, TDeviceContext& ctx, TOEMData& oem, std::atomic<bool>& closing)
    : Now([] { return QDateTime::currentDateTime(); }), m_(model), ctx_(ctx), oem_(oem), closing_(closing)
{
}

void TActionLogger::PrepareHeader()
{
    const QString h = BuildLogHeader(CurrentTexts()->LogFile);
    std::lock_guard<std::mutex> lk(mutex_);
    header_ = h;
}

QString TActionLogger::Header()
{
    {
        std::lock_guard<std::mutex> lk(mutex_);
        if (!header_.isEmpty())
            return header_;
    }
    PrepareHeader();
    std::lock_guard<std::mutex> lk(mutex_);
    return header_;
}

void TActionLogger::SetFolder(const QString& folder)
{
    std::lock_guard<std::mutex> lk(mutex_);
    folder_ = folder;
}

QString TActionLogger::Folder() const
{
    {
        std::lock_guard<std::mutex> lk(mutex_);
        if (!folder_.isEmpty())
            return folder_;
    }
    const QString set = CurrentToolIni()->Path.LogDatei;
    return set.isEmpty() ? DefaultLogDir() : set;
}

QString TActionLogger::ReadAction() const { return caption(m_, fld::ButtonLesen); }
QString TActionLogger::WriteAction() const { return caption(m_, fld::ButtonSetzen); }

QString TActionLogger::FocusedWriteAction() const
{
    const QString hint = m_.caption(fld::LabelOEMHinweisVS);
    return WriteAction() + QLatin1Char(' ') + hint.section(QLatin1Char(' '), 0, 0);
}

QString TActionLogger::BuildLogLine(const QString& action, const QDate& date, const QTime& time) const
{
    const bool volumeFlow = ctx_.ReglerFkt.load() == 1;
    const QString none = QStringLiteral("--");
    const TOEM_Data hw = oem_.OEM_Data_HW;
    const LogFlows flows =
        ComputeLogFlows(m_.text(fld::EditVnomM3Anz), m_.text(fld::EditVmaxPrz), m_.text(fld::EditVminPrz),
                        m_.text(fld::EditVmidPrz), ctx_.DisplayFactor(), ctx_.FirmwareVersion.load());

    QString sensor;
    if (m_.checked(fld::RadioButtonDPKVariabel)) {
        sensor = m_.caption(fld::RadioButtonDPKVariabel) + QStringLiteral(" (%1/%2/%3/%4/%5/%6)")
                                                              .arg(hw.Pmin)
                                                              .arg(hw.Pmax)
                                                              .arg(hw.Pnom)
                                                              .arg(hw.Ptot)
                                                              .arg(hw.Pverz)
                                                              .arg(hw.Vtot);
    } else {
        sensor = checkedCaption(m_, {fld::RadioButtonDPK100, fld::RadioButtonDPK300, fld::RadioButtonDPK600});
    }
    QString actuator;
    if (m_.checked(fld::RadioButtonAntr_Variabel)) {
        const QString signal =
            hw.StellwSignLin == 1 ? m_.caption(fld::RadioButtonVAVYLinear) : m_.caption(fld::RadioButtonVAVY2_10V);
        actuator = m_.caption(fld::RadioButtonAntr_Variabel) + QStringLiteral(" (%1/%2/%3/%4/%5/%6)")
                                                                   .arg(hw.Ymin)
                                                                   .arg(hw.Ymax)
                                                                   .arg(hw.YRmin)
                                                                   .arg(hw.YRmax)
                                                                   .arg(signal)
                                                                   .arg(hw.tLZAntrieb);
    } else {
        actuator = checkedCaption(m_, {fld::RadioButtonAntr_HFX_ST, fld::RadioButtonAntr_RGT});
    }

    const QStringList cols{
        DateText(date),
        TimeText(time),
        m_.text(fld::EditSerNr),
        m_.text(fld::EditOEM),
        m_.text(fld::EditPosition),
        action,
        m_.text(fld::EditBetrIstwM3),
        volumeFlow ? m_.text(fld::EditVAVLwAktiv) : none,
        m_.text(fld::EditBetrMotRueckPrz),
        volumeFlow ? m_.text(fld::EditVAVDichte) : none,
        m_.text(fld::EditHoehe),
        flows.vnom,
        flows.vmax,
        flows.vmin,
        volumeFlow ? flows.vmid : none,
        m_.text(fld::EditZBAdr),
        checkedCaption(m_, {fld::RadioButtonMode_W1_2_10V, fld::RadioButtonMode_W1_0_10V, fld::RadioButtonMode_W1}),
        m_.text(fld::EditSignW1),
        m_.text(fld::EditSignU5),
        QString::number(m_.items(fld::ListBoxAlarme).size()),
        m_.text(fld::EditFenwix),
        m_.text(fld::EditFirmware),
        m_.text(fld::EditConfTableID),
        sensor,
        checkedCaption(m_, {fld::RadioButtonSensTypVolumenstr, fld::RadioButtonSensTypDruck,
                            fld::RadioButtonSensTypDSK3Druck}),
        actuator,
    };
    return cols.join(QLatin1Char('\t'));
}

bool TActionLogger::WriteLogEntry(const QString& action)
{
    if (closing_.load())
        return false;
    const QDateTime now = Now();
    const QString folder = Folder();
    QString file;
    const LogResult r = InsertLogEntry(folder, now.date(), Header(), BuildLogLine(action, now.date(), now.time()), &file);
    if (r == LogResult::Ok)
        return true;
    const auto texts = CurrentTexts();
    if (OnMessage) {
        switch (r) {
        case LogResult::FolderFailed:
            OnMessage(texts->Messages.Msg(13) + QLatin1Char('\n') + QDir::toNativeSeparators(folder), true);
            break;
        case LogResult::ReadFailed:
            OnMessage(texts->Messages.Msg(3) + QLatin1Char('\n') + QDir::toNativeSeparators(file), false);
            break;
        default:
            OnMessage(texts->Messages.Msg(17) + QLatin1Char('\n') + QDir::toNativeSeparators(file), false);
            break;
        }
    }
    return false;
}

} // namespace kadex
