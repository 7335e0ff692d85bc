#pragma once
// One window value that differs from the device copy of a record: what the comparison walk of
// a record reports, in the walk's order. A step without a window field (the device copy not
// being known at all) has no field.
#include "device/model/Fields.h"
#include "settings/Trace.h"

#include <QString>
#include <optional>
#include <vector>

namespace kadex {

struct FieldDifference {
    std::optional<FieldId> field;
    QString window; // the window value as compared
    QString device; // the device copy's value
};

using FieldDifferences = std::vector<FieldDifference>;

// The comparison walk of a record: collects the failed steps; only the stop-at-first walk
// (all == false) writes its trace lines.
class ComparisonWalk {
public:
    explicit ComparisonWalk(bool all) : all_(all) {}
    // Records a failed comparison; true while the walk goes on.
    bool Step(const char16_t* text, bool eq, std::optional<FieldId> field, const QString& window,
              const QString& device)
    {
        if (!all_)
            TraceMain.TraceBool(QStringView(text), eq);
        if (!eq)
            out.push_back({field, window, device});
        return eq || all_;
    }
    void Note(const char16_t* text, bool value) const
    {
        if (!all_)
            TraceMain.TraceBool(QStringView(text), value);
    }
    FieldDifferences out;

private:
    bool all_;
};

} // namespace kadex
