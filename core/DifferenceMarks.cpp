#include "core/DifferenceMarks.h"

#include "device/model/WindowFields.h"

#include <set>

namespace kadex {

TDifferenceMarks::TDifferenceMarks(WindowModel& model)
    : m_(model)
{
}

DifferenceRow TDifferenceMarks::RowOf(const FieldDifference& d) const
{
    if (!d.field)
        return {QStringLiteral("Device copy"), d.window, d.device};
    // Radio buttons and check boxes carry their own caption; entries are named by the field.
    const Kind k = d.field->kind;
    QString name = k == Kind::Radio || k == Kind::Check || k == Kind::Toggle ? m_.caption(*d.field) : QString();
    name.remove(QLatin1Char('&'));
    if (name.trimmed().isEmpty())
        name = d.field->name();
    return {name.trimmed(), d.window, d.device, d.field->name()};
}

QString TDifferenceMarks::HintText(const std::vector<DifferenceRow>& rows, int maxLines)
{
    QStringList lines;
    for (const DifferenceRow& r : rows) {
        if (lines.size() == maxLines) {
            lines << QStringLiteral("...");
            break;
        }
        lines << QStringLiteral("%1: window %2, device %3")
                     .arg(r.field, r.window.isEmpty() ? QStringLiteral("-") : r.window,
                          r.device.isEmpty() ? QStringLiteral("-") : r.device);
    }
    return lines.join(QLatin1Char('\n'));
}

void TDifferenceMarks::Show(const FieldDifferences& differences)
{
    std::vector<DifferenceRow> rows;
    std::set<FieldId> now;
    for (const FieldDifference& d : differences) {
        rows.push_back(RowOf(d));
        if (d.field)
            now.insert(*d.field);
    }
    std::map<FieldId, Colour> restore;
    std::set<FieldId> tint;
    {
        std::lock_guard lock(mutex_);
        rows_ = rows;
        for (auto it = marked_.begin(); it != marked_.end();) {
            if (now.count(it->first)) {
                ++it;
                continue;
            }
            restore.insert(*it);
            it = marked_.erase(it);
        }
        for (FieldId f : now) {
            if (marked_.count(f))
                continue;
            marked_[f] = m_.colour(f);
            tint.insert(f);
        }
    }
    // Model changes outside the lock: they announce themselves.
    for (const auto& [f, before] : restore)
        if (m_.colour(f) == Colour::Differs) // a rule may have recoloured it meanwhile
            m_.setColour(f, before);
    for (FieldId f : tint)
        m_.setColour(f, Colour::Differs);
    m_.setHint(fld::ImageNotEqual, HintText(rows));
}

std::vector<DifferenceRow> TDifferenceMarks::Rows() const
{
    std::lock_guard lock(mutex_);
    return rows_;
}

} // namespace kadex
