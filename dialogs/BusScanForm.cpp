#include "dialogs/BusScanForm.h"

#include "device/Identify.h"
#include "core/MainCore.h"
#include "settings/Texts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kadex {

TBusScanForm::TBusScanForm(TMainCore& core, QWidget* parent) : QDialog(parent), flow_(core)
{
    setObjectName(QStringLiteral("TBusScanForm"));
    setWindowTitle(QStringLiteral("Bus durchsuchen"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("LabelScanStatus"));
    status_->setWordWrap(true);
    top->addWidget(status_);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ProgressBarScan"));
    progress_->setRange(0, 9);
    progress_->setFormat(QStringLiteral("%v / 9"));
    top->addWidget(progress_);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("ListScan"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QStringLiteral("Adresse"), QStringLiteral("Serien-Nummer"), QStringLiteral("Typ"),
                            QStringLiteral("Firmware")});
    list_->setWordWrap(true);
    list_->header()->setStretchLastSection(true);
    list_->setMinimumSize(620, 250);
    top->addWidget(list_);
    again_ = new QPushButton(QStringLiteral("Erneut durchsuchen"), this);
    again_->setObjectName(QStringLiteral("ButtonScanAgain"));
    connect_ = new QPushButton(QStringLiteral("Verbinden"), this);
    connect_->setObjectName(QStringLiteral("ButtonScanConnect"));
    connect_->setToolTip(QStringLiteral("Das Hauptfenster auf diese Adresse umschalten"));
    address_ = new QPushButton(QStringLiteral("Adressieren..."), this);
    address_->setObjectName(QStringLiteral("ButtonScanAddress"));
    address_->setToolTip(QStringLiteral("Diesem Regler über seine Serien-Nummer eine neue Adresse geben"));
    close_ = new QPushButton(QStringLiteral("Schließen"), this);
    close_->setObjectName(QStringLiteral("ButtonScanClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(again_);
    buttons->addStretch();
    buttons->addWidget(connect_);
    buttons->addWidget(address_);
    buttons->addWidget(close_);
    top->addLayout(buttons);

    connect(again_, &QPushButton::clicked, this, [this] { start(); });
    connect(close_, &QPushButton::clicked, this, &TBusScanForm::reject);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { selectionChanged(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { connect_->click(); });
    connect(connect_, &QPushButton::clicked, this, [this] {
        if (const ScanEntry* e = selected()) {
            flow_.Connect(e->index);
            accept();
        }
    });
    connect(address_, &QPushButton::clicked, this, [this] {
        if (const ScanEntry* e = selected(); e && e->state == ScanEntry::State::Present) {
            const QString serial = e->serial;
            accept();
            if (OnAddress)
                OnAddress(serial);
        }
    });

    QPointer<TBusScanForm> self(this);
    flow_.OnAsking = [self](int index) {
        QMetaObject::invokeMethod(self.data(), [self, index] { if (self) self->asking(index); }, Qt::QueuedConnection);
    };
    flow_.OnEntry = [self](const ScanEntry& e) {
        QMetaObject::invokeMethod(self.data(), [self, e] { if (self) self->entry(e); }, Qt::QueuedConnection);
    };
    flow_.OnDone = [self](const ScanResult& r) {
        QMetaObject::invokeMethod(self.data(), [self, r] { if (self) self->scanDone(r); }, Qt::QueuedConnection);
    };
    selectionChanged();
}

void TBusScanForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (parentWidget())
        move(parentWidget()->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    start();
}

void TBusScanForm::start()
{
    if (flow_.Running() || !flow_.Start())
        return;
    entries_.clear();
    list_->clear();
    progress_->setValue(0);
    again_->setEnabled(false);
    selectionChanged();
}

void TBusScanForm::asking(int index)
{
    status_->setText(QStringLiteral("Frage %1 ...").arg(BusAddressName(index)));
}

void TBusScanForm::entry(const ScanEntry& e)
{
    entries_.push_back(e);
    progress_->setValue(static_cast<int>(entries_.size()));
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, BusAddressName(e.index));
    switch (e.state) {
    case ScanEntry::State::Present:
        item->setText(1, e.serial);
        item->setText(2, e.typeText);
        item->setText(3, e.firmwareOk ? IdentInfo::Hex4(e.firmware) : QStringLiteral("?"));
        break;
    case ScanEntry::State::Absent:
        item->setText(1, QStringLiteral("keine Antwort"));
        item->setForeground(1, palette().brush(QPalette::Disabled, QPalette::Text));
        break;
    case ScanEntry::State::Duplicate:
        item->setText(1, QStringLiteral("gestörte Antworten"));
        item->setText(2, QStringLiteral("vermutlich mehrere Regler auf dieser Adresse"));
        item->setForeground(1, QBrush(Qt::red));
        item->setToolTip(1, BusScanFlow::EntryText(e));
        item->setToolTip(2, BusScanFlow::EntryText(e));
        break;
    }
    item->setData(0, Qt::UserRole, static_cast<int>(entries_.size() - 1));
    for (int c = 0; c < 3; ++c)
        list_->resizeColumnToContents(c);
}

void TBusScanForm::scanDone(const ScanResult& r)
{
    again_->setEnabled(true);
    int found = 0, shared = 0;
    for (const ScanEntry& e : r.entries) {
        found += e.state == ScanEntry::State::Present;
        shared += e.state == ScanEntry::State::Duplicate;
    }
    QString text = r.linkLost ? CurrentTexts()->Status.PortLost
                              : QStringLiteral("%1 Regler gefunden.").arg(found);
    if (shared)
        text += QStringLiteral(" Auf %1 Adresse(n) antworten vermutlich mehrere Regler: einen davon über die "
                               "Serien-Nummer auf eine freie Adresse umadressieren.").arg(shared);
    status_->setText(text);
    if (!list_->currentItem())
        for (int i = 0; i < list_->topLevelItemCount(); ++i)
            if (entries_[static_cast<size_t>(i)].state == ScanEntry::State::Present) {
                list_->setCurrentItem(list_->topLevelItem(i));
                break;
            }
    selectionChanged();
}

const ScanEntry* TBusScanForm::selected() const
{
    const QTreeWidgetItem* item = list_->currentItem();
    if (!item)
        return nullptr;
    const int i = item->data(0, Qt::UserRole).toInt();
    return i >= 0 && i < static_cast<int>(entries_.size()) ? &entries_[static_cast<size_t>(i)] : nullptr;
}

void TBusScanForm::selectionChanged()
{
    const ScanEntry* e = selected();
    const bool idle = !flow_.Running();
    connect_->setEnabled(idle && e != nullptr);
    address_->setEnabled(idle && e && e->state == ScanEntry::State::Present);
}

void TBusScanForm::reject()
{
    flow_.Cancel();
    QDialog::reject();
}

} // namespace kadex
