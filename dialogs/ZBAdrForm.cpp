#include "dialogs/ZBAdrForm.h"

#include "core/MainCore.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace kadex {

TAdrAbortForm::TAdrAbortForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TAdrAbortForm"));
    setWindowTitle(QStringLiteral("Taster-Adressierung"));
    setModal(true);
    auto* l = new QVBoxLayout(this);
    auto* text = new QLabel(QStringLiteral("Bitte Taster betätigen!"), this);
    QFont f = text->font();
    f.setBold(true);
    text->setFont(f);
    text->setAlignment(Qt::AlignCenter);
    l->addWidget(text);
    auto* abort = new QPushButton(QStringLiteral("Abbruch"), this);
    abort->setObjectName(QStringLiteral("ButtonAbort"));
    l->addWidget(abort, 0, Qt::AlignCenter);
    connect(abort, &QPushButton::clicked, this, &QDialog::reject);
}

TZBAdrForm::TZBAdrForm(TMainCore& core, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), flow_(core)
{
    setObjectName(QStringLiteral("TZBAdrForm"));
    setWindowTitle(QStringLiteral("ZB-Adresse"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Adressieren"), this);
    group->setObjectName(QStringLiteral("GroupBoxAdressieren"));
    auto* g = new QGridLayout(group);
    auto* label = new QLabel(QStringLiteral("ZB-Adresse"), group);
    label->setObjectName(QStringLiteral("LabelZBAdr"));
    address_ = new QComboBox(group);
    address_->setObjectName(QStringLiteral("ComboBoxZBAdr"));
    address_->addItem(QStringLiteral("PP"));
    for (int i = 1; i <= 8; ++i)
        address_->addItem(QStringLiteral("ZB%1").arg(i));
    address_->setMaxVisibleItems(9);
    label->setBuddy(address_);
    g->addWidget(label, 0, 0);
    g->addWidget(address_, 0, 1);
    byButton_ = new QRadioButton(QStringLiteral("Adressierung über Taster"), group);
    byButton_->setObjectName(QStringLiteral("RadioButtonAdrPerTaster"));
    byButton_->setChecked(true);
    bySerial_ = new QRadioButton(QStringLiteral("Adressierung über Serien-Nummer"), group);
    bySerial_->setObjectName(QStringLiteral("RadioButtonAdrPerSerNr"));
    g->addWidget(byButton_, 1, 0, 1, 2);
    g->addWidget(bySerial_, 2, 0, 1, 2);
    auto* serLabel = new QLabel(QStringLiteral("Serien-Nummer"), group);
    serLabel->setObjectName(QStringLiteral("LabelSerNr"));
    serial_ = new QLineEdit(group);
    serial_->setObjectName(QStringLiteral("EditSerNr"));
    serial_->setMaxLength(19);
    serial_->setPlaceholderText(QStringLiteral("00812-04711-003-001"));
    serial_->setMinimumWidth(serial_->fontMetrics().horizontalAdvance(QStringLiteral("00000-00000-000-0000")) + 12);
    serLabel->setBuddy(serial_);
    g->addWidget(serLabel, 3, 0);
    g->addWidget(serial_, 3, 1);
    top->addWidget(group);

    auto* note = new QLabel(QStringLiteral("Hinweis:\nFür den klassischen Betrieb (Ansteuerung / U5-Rückmeldung / etc.), "
                                           "muss das\nGerät auf 'PP' adressiert sein."),
                            this);
    note->setObjectName(QStringLiteral("PanelHinweis"));
    note->setFrameShape(QFrame::StyledPanel);
    note->setMargin(6);
    top->addWidget(note);

    ok_ = new QPushButton(QStringLiteral("Ok"), this);
    ok_->setObjectName(QStringLiteral("ButtonOk"));
    ok_->setDefault(true);
    abort_ = new QPushButton(QStringLiteral("Abbruch"), this);
    abort_->setObjectName(QStringLiteral("ButtonAbort"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(abort_);
    top->addLayout(buttons);

    abortForm_ = new TAdrAbortForm(this);
    connect(abortForm_, &QDialog::rejected, this, [this] { flow_.AbortButtonSearch(); });

    ShowMessage = [this](ZBAdrFlow::MessageKind kind, const QString& text) {
        if (kind == ZBAdrFlow::MessageKind::Error)
            QMessageBox::critical(this, QStringLiteral("Kadex Tool"), text);
        else
            QMessageBox::information(this, QStringLiteral("Kadex Tool"), text);
    };
    connect(byButton_, &QRadioButton::toggled, this, [this] { updateEnabled(); });
    connect(ok_, &QPushButton::clicked, this, [this] { ok(); });
    connect(abort_, &QPushButton::clicked, this, &TZBAdrForm::reject);

    // Reports of the flow runner come here as queued calls.
    QPointer<TZBAdrForm> self(this);
    flow_.OnButtonWait = [self](bool waiting) {
        QMetaObject::invokeMethod(self.data(), [self, waiting] {
            if (!self)
                return;
            if (waiting) {
                self->abortForm_->adjustSize();
                if (QScreen* s = self->screen())
                    self->abortForm_->move(s->geometry().center() - self->abortForm_->rect().center());
                self->abortForm_->open();
            } else if (self->abortForm_->isVisible()) {
                self->abortForm_->hide();
            }
        }, Qt::QueuedConnection);
    };
    flow_.OnMessage = [self](ZBAdrFlow::MessageKind kind, const QString& text) {
        QMetaObject::invokeMethod(self.data(), [self, kind, text] {
            if (self && self->ShowMessage)
                self->ShowMessage(kind, text);
        }, Qt::QueuedConnection);
    };
    flow_.OnFinished = [self](bool success) {
        QMetaObject::invokeMethod(self.data(), [self, success] {
            if (self)
                self->finished(success);
        }, Qt::QueuedConnection);
    };
    updateEnabled();
}

void TZBAdrForm::PresetSerial(const QString& serial)
{
    preset_ = serial;
}

void TZBAdrForm::updateEnabled()
{
    serial_->setEnabled(bySerial_->isChecked() && !flow_.Working());
}

void TZBAdrForm::showEvent(QShowEvent* e)
{
    flow_.Show();
    if (!preset_.isEmpty()) {
        bySerial_->setChecked(true);
        serial_->setText(preset_);
        preset_.clear();
    } else {
        serial_->setText(flow_.Serial);
    }
    updateEnabled();
    ok_->setEnabled(true);
    abort_->setEnabled(true);
    ok_->setFocus();
    if (parentWidget())
        move(parentWidget()->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(e);
}

void TZBAdrForm::ok()
{
    flow_.AddressIndex = address_->currentIndex();
    flow_.BySerial = bySerial_->isChecked();
    flow_.Serial = serial_->text();
    if (!flow_.Ok())
        return;
    ok_->setEnabled(false);
    abort_->setEnabled(false);
    updateEnabled();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    cursorSet_ = true;
}

void TZBAdrForm::finished(bool success)
{
    if (cursorSet_) {
        QApplication::restoreOverrideCursor();
        cursorSet_ = false;
    }
    ok_->setEnabled(true);
    abort_->setEnabled(true);
    updateEnabled();
    if (success)
        accept();
}

void TZBAdrForm::reject()
{
    // Not while an addressing runs: its telegrams are on their way.
    if (flow_.Working())
        return;
    QDialog::reject();
}

void TZBAdrForm::done(int result)
{
    QDialog::done(result);
    flow_.Close();
}

} // namespace kadex
