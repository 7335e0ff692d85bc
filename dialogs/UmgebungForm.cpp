#include "dialogs/UmgebungForm.h"

#include "core/MainCore.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kadex {

TDichteForm::TDichteForm(TMainCore& core, UmgebungFlow::Confirm confirm, QWidget* parent)
    : QDialog(parent), flow_(std::make_unique<UmgebungFlow>(core, confirm))
{
    setObjectName(QStringLiteral("TDichteForm"));
    setWindowTitle(QStringLiteral("Umgebungsbedingungen"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* g = new QGridLayout;
    top->addLayout(g);
    struct Row {
        const char *name, *label1, *label2, *unit;
        int maxChars;
        bool volumeFlowOnly;
    };
    const Row rows[] = {{"EditHoehe", "Höhe über", "Meeresspiegel", "m", 7, false},
                        {"EditTemp", "Mittlere Medium", "Temperatur", "°C", 9, true},
                        {"EditFeuchte", "Feuchte", "des Mediums", "%", 7, true},
                        {"EditDichte", "Dichte", "", "kg/m³", 0, true}};
    QLineEdit* edits[4] = {};
    int r = 0;
    for (const Row& row : rows) {
        auto* l1 = new QLabel(QString::fromUtf8(row.label1), this);
        auto* l2 = new QLabel(QString::fromUtf8(row.label2), this);
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(row.name));
        e->setAlignment(Qt::AlignRight);
        if (row.maxChars > 0) {
            e->setMaxLength(row.maxChars);
        } else {
            e->setReadOnly(true);
            e->setFocusPolicy(Qt::ClickFocus);
        }
        auto* unit = new QLabel(QString::fromUtf8(row.unit), this);
        g->addWidget(l1, r, 0);
        g->addWidget(e, r, 1, 2, 1);
        g->addWidget(unit, r, 2, 2, 1);
        g->addWidget(l2, r + 1, 0);
        if (row.volumeFlowOnly)
            volumeFlowRows_ << l1 << l2 << e << unit;
        edits[r / 2] = e;
        r += 2;
    }
    hoehe_ = edits[0];
    temp_ = edits[1];
    feuchte_ = edits[2];
    dichte_ = edits[3];

    ok_ = new QPushButton(confirm == UmgebungFlow::Confirm::Anpassen ? QStringLiteral("Anpassen") : QStringLiteral("Übernehmen"), this);
    ok_->setObjectName(QStringLiteral("ButtonOk"));
    ok_->setDefault(true);
    abort_ = new QPushButton(QStringLiteral("Abbruch"), this);
    abort_->setObjectName(QStringLiteral("ButtonAbort"));
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok_);
    bottom->addWidget(abort_);
    top->addLayout(bottom);

    connect(hoehe_, &QLineEdit::textEdited, this, [this](const QString& t) { flow_->SetHoehe(t); refresh(); });
    connect(temp_, &QLineEdit::textEdited, this, [this](const QString& t) { flow_->SetTemp(t); refresh(); });
    connect(feuchte_, &QLineEdit::textEdited, this, [this](const QString& t) { flow_->SetFeuchte(t); refresh(); });
    connect(ok_, &QPushButton::clicked, this, [this] {
        flow_->Accept(); // the write, if any, runs on the flow runner
        accept();
    });
    connect(abort_, &QPushButton::clicked, this, &QDialog::reject);
}

TDichteForm::~TDichteForm() = default;

void TDichteForm::showEvent(QShowEvent* e)
{
    flow_->Show();
    refresh();
    hoehe_->setFocus();
    QDialog::showEvent(e);
}

void TDichteForm::done(int result)
{
    flow_->Close();
    QDialog::done(result);
}

void TDichteForm::refresh()
{
    const UmgebungFlow::View& v = flow_->view();
    const std::pair<QLineEdit*, const QString*> texts[] = {{hoehe_, &v.hoehe}, {temp_, &v.temp}, {feuchte_, &v.feuchte}, {dichte_, &v.dichte}};
    for (const auto& [edit, text] : texts) {
        // Setting the same text would move the cursor to the end while the user types.
        if (edit->text() != *text)
            edit->setText(*text);
    }
    hoehe_->setToolTip(v.hoeheHint);
    temp_->setToolTip(v.tempHint);
    feuchte_->setToolTip(v.feuchteHint);
    for (QWidget* w : volumeFlowRows_)
        w->setVisible(v.volumeFlowRows);
}

} // namespace kadex
