#include "core/LanguageLoader.h"

#include "device/DeviceContext.h"
#include "device/model/WindowFields.h"
#include "core/RegForm.h"
#include "core/ValueCoupling.h"
#include "settings/ToolIni.h"
#include "settings/Trace.h"

#include <QFileInfo>

namespace kadex {

bool IsWidgetLanguageSection(const QString& section)
{
    static const QStringList widgetSections = {
        QStringLiteral("FORM_ZB_COMMAND"), QStringLiteral("FORM_ZB_ADRESS"), QStringLiteral("FORM_ZB_ADRESS_ABBR"),
        QStringLiteral("FORM_LEITWERT"),   QStringLiteral("FORM_DICHTE"),    QStringLiteral("FORM_INFO"),
        QStringLiteral("FORM_BUS_SCAN"),
    };
    return widgetSections.contains(section);
}

void ApplyLanguageToModel(WindowModel& m, const TLanguage& lang, int reglerFkt, bool volumeSensor, uint16_t firmware)
{
    for (const TElementText& e : lang.Elements(reglerFkt, volumeSensor)) {
        if (IsWidgetLanguageSection(e.section))
            continue;
        const std::optional<FieldId> f = fieldByName(e.element);
        if (!f)
            continue;
        if (e.hint)
            m.setHint(*f, e.text);
        else
            m.setCaption(*f, e.text);
    }
    const coupling::ShareLabels share = coupling::PercentShareLabels(reglerFkt, firmware);
    m.setCaption(fld::LabelVmaxPrzDim, share.vmax);
    m.setCaption(fld::LabelVminPrzDim, share.vmin);
}

TLanguageLoader::TLanguageLoader(TDeviceContext& ctx) : ctx_(ctx) {}

void TLanguageLoader::Apply()
{
    ApplyLanguageToModel(ctx_.model, *CurrentLanguage(), ctx_.ReglerFkt.load(),
                         ctx_.model.checked(fld::RadioButtonSensTypVolumenstr), ctx_.FirmwareVersion.load());
}

TLanguageLoad TLanguageLoader::Load()
{
    TraceMethodScope scope(TraceMain, u"TMainCore", u"LoadLanguage");
    const QString name = SprachWahl.SprachDatei;
    QString path = FindLanguageFile(name);
    if (path.isEmpty())
        path = name;
    TLanguageLoad r = LoadLanguageFile(path, ctx_.ReglerFkt.load());
    if (!r.found)
        return r;
    Apply();
    // The status bar's function text is written when the function changes; it follows the
    // language too.
    WindowModel& m = ctx_.model;
    m.setText(kStatusFunction, FunctionStatusText(ctx_.ReglerFkt.load(), m.caption(fld::RadioButtonVolumenstrom),
                                                  m.caption(fld::RadioButtonDruckanwendung)));
    if (!r.problems.isEmpty()) {
        const QString text = CurrentLanguage()->Text(QStringLiteral("HAUPTFENSTER"), QStringLiteral("LanguageNotRead"));
        ctx_.model.setText(kStatusMessage, QString(text).replace(QLatin1String("%1"), QFileInfo(path).fileName()));
    }
    if (OnLoaded)
        OnLoaded();
    return r;
}

} // namespace kadex
