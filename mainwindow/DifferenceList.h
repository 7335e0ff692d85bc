#pragma once
// The list behind the comparison indicator: a click on the not-equal picture opens a small
// non-modal window with the differing fields (field, window value, device value). It only
// shows what the core's comparison produced; while open it follows each new comparison.
#include "core/DifferenceMarks.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class QDialog;
class QLabel;
class QTreeWidget;

namespace kadex {

class ModelBinder;

class DifferenceList : public QObject {
    Q_OBJECT
public:
    using RowSource = std::function<std::vector<DifferenceRow>()>;
    // Watches `indicator` for clicks; `binder` tells when the indicator changed.
    DifferenceList(QLabel& indicator, RowSource rows, ModelBinder& binder, QObject* parent = nullptr);

    void Open();
    // The open list window (nullptr before the first click).
    QDialog* Window() const { return dialog_; }

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void refresh();
    // The name a user reads for a field: the title of its group and the label that names it
    // (its buddy, or the label left of it in its grid row), else the row's own text.
    QString readableName(const DifferenceRow& row) const;

    QPointer<QLabel> indicator_;
    const QObject* indicatorObject_; // only compared, never used
    RowSource rows_;
    QPointer<QDialog> dialog_;
    QTreeWidget* tree_ = nullptr;
};

} // namespace kadex
