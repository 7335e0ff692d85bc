#include "core/PortOpenText.h"

#include "settings/Texts.h"

namespace kadex {

QString PortOpenReasonText(PortOpenError kind, const QString& group)
{
    const auto texts = CurrentTexts();
    const TIniStatusText& st = texts->Status;
    switch (kind) {
    case PortOpenError::None:
        return {};
    case PortOpenError::NoSuchDevice:
        return st.PortMissing;
    case PortOpenError::PermissionDenied:
        return QString(st.PortPermission).replace(QStringLiteral("%GROUP%"),
                                                  group.isEmpty() ? QStringLiteral("dialout") : group);
    case PortOpenError::InUse:
        return st.PortInUse;
    case PortOpenError::Other:
        break;
    }
    return st.PortOther;
}

QString PortOpenErrorText(const TComForm& com)
{
    if (com.LastOpenErrorKind() == PortOpenError::None)
        return {};
    const QString which = com.PortPath().isEmpty() ? QString::number(com.PortNumber()) : com.PortPath();
    return CurrentTexts()->Messages.Msg(15) + QStringLiteral(" (") + which + QStringLiteral(")") + QLatin1Char('\n')
        + PortOpenReasonText(com.LastOpenErrorKind(), com.LastOpenGroup());
}

} // namespace kadex
