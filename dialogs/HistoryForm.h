#pragma once
// "Verlauf": the service history of the connected controller. The list of its actions, newest
// first; the selected action's fields as found and as left; export of the list as CSV.
#include "history/HistoryRecord.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace kadex {

class TMainCore;

class THistoryForm : public QDialog {
    Q_OBJECT
public:
    explicit THistoryForm(TMainCore& core, QWidget* parent = nullptr);

    // Reads the history of the controller shown in the window (every controller when none is).
    void Reload();
    // Writes the listed records as CSV; false with a message box when the file cannot be written.
    bool ExportCsv(const QString& path);
    QTableWidget* List() const { return list_; }
    QTableWidget* Fields() const { return fields_; }
    const std::vector<history::Record>& Records() const { return records_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void showFields();
    void exportClicked();

    TMainCore& core_;
    QLabel* title_;
    QTableWidget* list_;
    QTableWidget* fields_;
    QPushButton* export_;
    std::vector<history::Record> records_;
};

} // namespace kadex
