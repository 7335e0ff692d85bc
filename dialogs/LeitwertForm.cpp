#include "dialogs/LeitwertForm.h"

#include "core/MainCore.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kadex {

namespace {
QLineEdit* entry(QWidget* parent, const char* name, bool readOnly)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(readOnly);
    e->setAlignment(Qt::AlignRight);
    if (readOnly)
        e->setFocusPolicy(Qt::ClickFocus);
    return e;
}
QPushButton* button(QWidget* parent, const char* name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}
} // namespace

TLeitwertForm::TLeitwertForm(TMainCore& core, QWidget* parent, IClock* clock)
    : QDialog(parent), flow_(std::make_unique<LeitwertFlow>(core, clock ? *clock : SteadyClock::Instance()))
{
    setObjectName(QStringLiteral("TLeitwertForm"));
    setWindowTitle(QStringLiteral("Leitwert Berechnung"));
    setModal(true);
    auto* top = new QVBoxLayout(this);

    auto* input = new QGroupBox(QStringLiteral("Eingabe"), this);
    input->setObjectName(QStringLiteral("GroupBoxLWParams"));
    auto* g = new QGridLayout(input);
    volumenstrom_ = entry(input, "EditVolumenstrom", false);
    volumenstrom_->setToolTip(QStringLiteral("0 .. 65535"));
    druckMw_ = entry(input, "EditDruckMw", false);
    druckMw_->setToolTip(QStringLiteral("0 .. 65535"));
    flowUnit_ = new QLabel(input);
    pressureUnit_ = new QLabel(input);
    g->addWidget(new QLabel(QStringLiteral("Refernzvolumen"), input), 0, 0);
    g->addWidget(volumenstrom_, 0, 1);
    g->addWidget(flowUnit_, 0, 2);
    auto* druck = new QLabel(QStringLiteral("Druck"), input);
    druck->setObjectName(QStringLiteral("LabelDruckMw1"));
    g->addWidget(druck, 1, 0);
    g->addWidget(druckMw_, 1, 1);
    g->addWidget(pressureUnit_, 1, 2);
    g->addWidget(new QLabel(QStringLiteral("Mittelwert"), input), 2, 0);
    mitLuft_ = button(input, "ButtonDruckmessung", QStringLiteral("mit Luft"));
    berechnen_ = button(input, "ButtonBerechnen", QStringLiteral("Berechnen"));
    startMeas_ = button(input, "ButtonStartMeas", QStringLiteral("Start Messung"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(mitLuft_);
    buttons->addWidget(berechnen_);
    buttons->addWidget(startMeas_);
    g->addLayout(buttons, 3, 0, 1, 3);
    top->addWidget(input);

    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("PanelDruckmessung"));
    auto* p = new QVBoxLayout(panel_);
    p->setContentsMargins(0, 0, 0, 0);
    calcText_ = new QLabel(panel_);
    calcText_->setObjectName(QStringLiteral("LabelCalculateLWText"));
    calcResult_ = new QLabel(panel_);
    calcResult_->setObjectName(QStringLiteral("LabelCalculateLW"));
    progress_ = new QProgressBar(panel_);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setTextVisible(false);
    p->addWidget(calcText_);
    p->addWidget(calcResult_);
    p->addWidget(progress_);
    top->addWidget(panel_);

    // The preparation notes, one label per paragraph.
    for (const char* note :
         {"Vorbereitung - folgende Parameter sind vor dem Kalibrierprozess zu definieren und in den Kadex zu laden:\n"
          "- Fühlertyp\n- bei Sensortyp DSK3: Umgebungsbedingungen (Tab Experte) der\n  Kalibrierumgebung anpassen\n- V'nom",
          "Hinweis - aktive Leitwertermittlung 'mit Luft':\n"
          "für die Ermittlung ist ein ein konstanter Referenzvolumenstrom erforderlich."}) {
        auto* l = new QLabel(QString::fromUtf8(note), this);
        l->setWordWrap(true);
        top->addWidget(l);
    }

    auto* lw = new QGroupBox(QStringLiteral("Leitwert"), this);
    lw->setObjectName(QStringLiteral("GroupBoxLeitwert"));
    auto* lg = new QGridLayout(lw);
    lwAktiv_ = entry(lw, "EditLwAktiv", true);
    lwErmittelt_ = entry(lw, "EditLwErmittelt", true);
    lg->addWidget(new QLabel(QStringLiteral("aktiv"), lw), 0, 0);
    lg->addWidget(lwAktiv_, 0, 1);
    lg->addWidget(new QLabel(QStringLiteral("Neu ermittelt"), lw), 1, 0);
    lg->addWidget(lwErmittelt_, 1, 1);
    top->addWidget(lw);

    ok_ = button(this, "ButtonOk", QStringLiteral("Übernehmen"));
    ok_->setDefault(true);
    abort_ = button(this, "ButtonAbort", QStringLiteral("Abbruch"));
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok_);
    bottom->addWidget(abort_);
    top->addLayout(bottom);

    flow_->OnChanged = [this] { Refresh(); };
    ticker_.setInterval(10);
    connect(&ticker_, &QTimer::timeout, this, [this] {
        if (!flow_->Tick()) {
            ticker_.stop();
            ok_->setFocus();
        }
    });
    connect(volumenstrom_, &QLineEdit::textEdited, this, [this](const QString& t) { flow_->SetVolumenstrom(t); });
    connect(druckMw_, &QLineEdit::textEdited, this, [this](const QString& t) { flow_->SetDruckMw(t); });
    connect(berechnen_, &QPushButton::clicked, this, [this] { flow_->Berechnen(); });
    connect(mitLuft_, &QPushButton::clicked, this, [this] {
        flow_->MitLuft();
        if (flow_->phase() != LeitwertFlow::Phase::Idle)
            ticker_.start();
    });
    connect(startMeas_, &QPushButton::clicked, this, [this] { flow_->StartNow(); });
    connect(ok_, &QPushButton::clicked, this, [this] {
        flow_->Uebernehmen();
        accept();
    });
    connect(abort_, &QPushButton::clicked, this, [this] {
        abort_->setEnabled(false);
        reject();
    });
}

TLeitwertForm::~TLeitwertForm()
{
    if (cursorSet_)
        QApplication::restoreOverrideCursor();
}

void TLeitwertForm::showEvent(QShowEvent* e)
{
    flow_->Show();
    ok_->setFocus();
    QDialog::showEvent(e);
}

void TLeitwertForm::done(int result)
{
    ticker_.stop();
    if (result != QDialog::Accepted || !flow_->applied())
        flow_->Close();
    QDialog::done(result);
}

void TLeitwertForm::Refresh()
{
    const LeitwertFlow::View& v = flow_->view();
    auto setText = [](QLineEdit* e, const QString& t) {
        if (e->text() != t)
            e->setText(t);
    };
    setText(volumenstrom_, v.volumenstrom);
    setText(druckMw_, v.druckMw);
    setText(lwAktiv_, v.lwAktiv);
    setText(lwErmittelt_, v.lwErmittelt);
    flowUnit_->setText(v.flowUnit);
    pressureUnit_->setText(v.pressureUnit);
    calcText_->setText(v.calculateText);
    calcResult_->setText(v.calculateResult);
    calcResult_->setStyleSheet(v.resultIsError ? QStringLiteral("color: red") : QStringLiteral("color: black"));
    panel_->setVisible(v.panelVisible);
    startMeas_->setVisible(v.startMeasVisible);
    progress_->setMaximum(v.progressMax);
    progress_->setValue(v.progress);
    ok_->setEnabled(v.okEnabled);
    mitLuft_->setEnabled(v.mitLuftEnabled);
    berechnen_->setEnabled(v.berechnenEnabled);
    if (v.busy != cursorSet_) {
        if (v.busy)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
        cursorSet_ = v.busy;
    }
}

} // namespace kadex
