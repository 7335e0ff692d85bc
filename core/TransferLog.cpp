#include "core/TransferLog.h"

namespace kadex {

bool TTransferLog::TransferOn() const
{
    return m_.visible(fld::TabSheetTransfer);
}

void TTransferLog::AddTransferLine(const QString& line)
{
    if (!TransferOn())
        return;
    std::lock_guard<std::mutex> lk(mutex_);
    QStringList lines = m_.items(fld::MemoCOMTransf);
    if (lines.size() > kMaxLines)
        lines.erase(lines.begin(), lines.begin() + (lines.size() / 2 + 1));
    lines.append(line);
    m_.setItems(fld::MemoCOMTransf, lines);
}

void TTransferLog::Clear()
{
    std::lock_guard<std::mutex> lk(mutex_);
    m_.setItems(fld::MemoCOMTransf, {});
}

} // namespace kadex
