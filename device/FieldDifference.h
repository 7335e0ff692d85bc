#pragma once
// One window value that differs from the device copy of a record: what the comparison walk of
// a record reports, in the walk's order. A step without a window field (the device copy not
// being known at all) has no field.
#include "device/model/Fields.h"

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

} // namespace kadex
