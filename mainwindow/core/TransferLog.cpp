#include "mainwindow/core/TransferLog.h"

namespace kadex {

bool TTransferLog::TransferOn() const
{
    return m_.visible(QStringLiteral("TabSheetTransfer"));
}

void TTransferLog::AddTransferLine(const QString& line)
{
    if (!TransferOn())
        return;
    std::lock_guard<std::mutex> lk(mutex_);
    QStringList lines = m_.items(QStringLiteral("MemoCOMTransf"));
    if (lines.size() > kMaxLines)
        lines.erase(lines.begin(), lines.begin() + (lines.size() / 2 + 1));
    lines.append(line);
    m_.setItems(QStringLiteral("MemoCOMTransf"), lines);
}

void TTransferLog::Clear()
{
    std::lock_guard<std::mutex> lk(mutex_);
    m_.setItems(QStringLiteral("MemoCOMTransf"), {});
}

} // namespace kadex
