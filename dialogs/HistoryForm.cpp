#include "dialogs/HistoryForm.h"

#include "device/model/WindowFields.h"
#include "history/HistoryStore.h"
#include "core/MainCore.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QItemSelectionModel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kadex {

namespace {

QString resultText(history::Result r)
{
    switch (r) {
    case history::Result::Ok: return QStringLiteral("ausgeführt");
    case history::Result::Verified: return QStringLiteral("geschrieben, rückgelesen gleich");
    case history::Result::Written: return QStringLiteral("geschrieben, nicht rückgelesen");
    case history::Result::NotHeld: return QStringLiteral("rückgelesen abweichend");
    case history::Result::Refused: return QStringLiteral("abgewiesen");
    case history::Result::Failed: return QStringLiteral("fehlgeschlagen");
    }
    return {};
}

QTableWidget* table(QWidget* parent, const char* name, const QStringList& heads)
{
    auto* t = new QTableWidget(0, static_cast<int>(heads.size()), parent);
    t->setObjectName(QLatin1String(name));
    t->setHorizontalHeaderLabels(heads);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void put(QTableWidget* t, int row, int col, const QString& text)
{
    t->setItem(row, col, new QTableWidgetItem(text));
}

} // namespace

THistoryForm::THistoryForm(TMainCore& core, QWidget* parent) : QDialog(parent), core_(core)
{
    setObjectName(QStringLiteral("HistoryForm"));
    setWindowTitle(QStringLiteral("Verlauf"));
    resize(820, 560);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("LabelVerlaufRegler"));
    list_ = table(this, "ListVerlauf", {QStringLiteral("Zeit"), QStringLiteral("Aktion"), QStringLiteral("Ergebnis"),
                                        QStringLiteral("Benutzer"), QStringLiteral("Rechner"), QStringLiteral("Programm"),
                                        QStringLiteral("Adresse")});
    fields_ = table(this, "TableVerlaufFelder", {QStringLiteral("Feld"), QStringLiteral("Vorgefunden"),
                                                 QStringLiteral("Hinterlassen"), QStringLiteral("Einheit")});
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(list_);
    split->addWidget(fields_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* reload = buttons->addButton(QStringLiteral("&Aktualisieren"), QDialogButtonBox::ActionRole);
    export_ = buttons->addButton(QStringLiteral("CSV &exportieren..."), QDialogButtonBox::ActionRole);
    export_->setObjectName(QStringLiteral("ButtonVerlaufExport"));
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(title_);
    lay->addWidget(split, 1);
    lay->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(reload, &QPushButton::clicked, this, [this] { Reload(); });
    connect(export_, &QPushButton::clicked, this, [this] { exportClicked(); });
    connect(list_, &QTableWidget::itemSelectionChanged, this, [this] { showFields(); });
}

void THistoryForm::showEvent(QShowEvent* e)
{
    Reload();
    QDialog::showEvent(e);
}

void THistoryForm::Reload()
{
    const QString serial = core_.Ctx.model.text(fld::EditSerNr).trimmed();
    title_->setText(serial.isEmpty() ? QStringLiteral("Alle Regler") : QStringLiteral("Regler %1").arg(serial));
    records_.clear();
    history::Database db;
    const QString path = core_.History.DatabasePath();
    if (db.OpenLocal(path)) {
        history::ListQuery q;
        q.serial = serial;
        if (auto r = db.List(q))
            records_ = std::move(*r);
    } else {
        title_->setText(title_->text() + QStringLiteral(" - ") +
                        history::FaultTextGerman(db.LastFault(), path, db.LastError()));
    }
    list_->setRowCount(static_cast<int>(records_.size()));
    for (int i = 0; i < static_cast<int>(records_.size()); ++i) {
        const history::Record& r = records_[static_cast<size_t>(i)];
        put(list_, i, 0, r.at.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
        put(list_, i, 1, r.action);
        put(list_, i, 2, r.reason.isEmpty() ? resultText(r.result) : resultText(r.result) + QStringLiteral(": ") + r.reason);
        put(list_, i, 3, r.user);
        put(list_, i, 4, r.host);
        put(list_, i, 5, r.frontEnd);
        put(list_, i, 6, r.busAddress);
    }
    list_->resizeColumnsToContents();
    export_->setEnabled(!records_.empty());
    list_->clearSelection();
    if (!records_.empty())
        list_->setCurrentCell(0, 0);
    showFields();
}

void THistoryForm::showFields()
{
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.first().row();
    if (row < 0 || row >= static_cast<int>(records_.size())) {
        fields_->setRowCount(0);
        return;
    }
    const history::Record& r = records_[static_cast<size_t>(row)];
    fields_->setRowCount(static_cast<int>(r.fields.size()));
    for (int i = 0; i < static_cast<int>(r.fields.size()); ++i) {
        const history::FieldChange& f = r.fields[static_cast<size_t>(i)];
        put(fields_, i, 0, f.key);
        put(fields_, i, 1, f.found.isEmpty() ? QStringLiteral("(unbekannt)") : history::ShownValue(f.found));
        put(fields_, i, 2, f.left.isEmpty() ? QStringLiteral("(unbekannt)") : history::ShownValue(f.left));
        put(fields_, i, 3, f.unit);
    }
    fields_->resizeColumnsToContents();
}

bool THistoryForm::ExportCsv(const QString& path)
{
    QString text = history::CsvHeading() + QStringLiteral("\r\n");
    for (const history::Record& r : records_)
        for (const QString& row : history::CsvRows(r))
            text += row + QStringLiteral("\r\n");
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) >= 0 && f.commit())
        return true;
    QMessageBox::warning(this, windowTitle(),
                         QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2").arg(path, f.errorString()));
    return false;
}

void THistoryForm::exportClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Verlauf exportieren"),
                                                      QStringLiteral("Verlauf.csv"),
                                                      QStringLiteral("CSV-Dateien (*.csv)"));
    if (!path.isEmpty())
        ExportCsv(path);
}

} // namespace kadex
