#pragma once
// What the comparison indicator tells beyond equal / not equal: the fields whose window value
// differs from the device copy. Show takes the list of the comparison that decided the
// indicator; it puts the rows in the indicator's hint, tints the differing fields and takes the
// tint off the ones that are equal again (their colour from before comes back). Any thread may
// call it; it touches only the model, and the rows are kept under a lock for the window's list.
#include "device/FieldDifference.h"
#include "device/model/WindowModel.h"

#include <QString>
#include <QStringList>
#include <map>
#include <mutex>

namespace kadex {

struct DifferenceRow {
    QString field; // caption of the field, else its name
    QString window;
    QString device;
    QString name = {}; // the field's declared name; empty for the device copy's own row
};

class TDifferenceMarks {
public:
    explicit TDifferenceMarks(WindowModel& model);

    void Show(const FieldDifferences& differences);
    void Clear() { Show({}); }
    std::vector<DifferenceRow> Rows() const;

    // The hint text: one line a row, at most maxLines of them, then "...".
    static QString HintText(const std::vector<DifferenceRow>& rows, int maxLines = 15);
    DifferenceRow RowOf(const FieldDifference& d) const;

private:
    WindowModel& m_;
    mutable std::mutex mutex_;
    std::vector<DifferenceRow> rows_;
    // Tinted fields and the colour each had before.
    std::map<FieldId, Colour> marked_;
};

} // namespace kadex
