#pragma once
// "Bus durchsuchen": asks PP and ZB1..ZB8 and lists who answers, with progress while it runs.
// From the list the user connects to an address or addresses a controller by its serial number.
// Widgets over BusScanFlow; the scan runs on the flow runner.
#include "core/BusScanFlow.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace kadex {

class TMainCore;

class TBusScanForm : public QDialog {
    Q_OBJECT
public:
    explicit TBusScanForm(TMainCore& core, QWidget* parent = nullptr);

    BusScanFlow& Flow() { return flow_; }
    // "Adressieren...": the addressing dialog with this serial number.
    std::function<void(const QString& serial)> OnAddress;
    QTreeWidget* List() const { return list_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void start();
    void asking(int index);
    void entry(const ScanEntry& e);
    void scanDone(const ScanResult& r);
    void selectionChanged();
    const ScanEntry* selected() const;

    BusScanFlow flow_;
    QTreeWidget* list_;
    QProgressBar* progress_;
    QLabel* status_;
    QPushButton *again_, *connect_, *address_, *close_;
    std::vector<ScanEntry> entries_;
};

} // namespace kadex
