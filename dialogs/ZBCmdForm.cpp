#include "dialogs/ZBCmdForm.h"

#include "common/Helpers.h"
#include "core/MainCore.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace kadex {

TZBCmdForm::TZBCmdForm(TMainCore& core, const QString& templatesPath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), flow_(core)
{
    setObjectName(QStringLiteral("TZBCmdForm"));
    setWindowTitle(QStringLiteral("ZB-Kommando"));
    setModal(false);
    auto* top = new QVBoxLayout(this);
    list_ = new QComboBox(this);
    list_->setObjectName(QStringLiteral("ComboBoxZBCmd"));
    list_->setMinimumContentsLength(36);
    list_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    top->addWidget(list_);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("LabelZBCmdStatus"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(status_);
    send_ = new QPushButton(QStringLiteral("Senden"), this);
    send_->setObjectName(QStringLiteral("ButtonSenden"));
    send_->setDefault(true);
    end_ = new QPushButton(QStringLiteral("Ende"), this);
    end_->setObjectName(QStringLiteral("ButtonEnde"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(send_);
    buttons->addWidget(end_);
    top->addLayout(buttons);

    flow_.Load(templatesPath);
    for (const RawTemplate& t : flow_.Templates().templates)
        list_->addItem(t.EntryText());
    if (list_->count() > 0)
        list_->setCurrentIndex(0);
    connect(list_, &QComboBox::currentIndexChanged, this, [this] { selectionChanged(); });
    connect(send_, &QPushButton::clicked, this, [this] {
        if (flow_.Send(list_->currentIndex()))
            send_->setEnabled(false);
    });
    connect(end_, &QPushButton::clicked, this, &QDialog::reject);
    QPointer<TZBCmdForm> self(this);
    flow_.OnSent = [self](const RawSendResult& r) {
        QMetaObject::invokeMethod(self.data(), [self, r] {
            if (self)
                self->sent(r);
        }, Qt::QueuedConnection);
    };
    selectionChanged();
}

void TZBCmdForm::selectionChanged()
{
    const auto& list = flow_.Templates().templates;
    const int i = list_->currentIndex();
    send_->setEnabled(i >= 0 && i < static_cast<int>(list.size()));
    if (i >= 0 && i < static_cast<int>(list.size()) && !list[static_cast<size_t>(i)].usable())
        status_->setText(QStringLiteral("Vorlage unbrauchbar: ") + list[static_cast<size_t>(i)].problem);
    else
        status_->setText(flow_.Templates().message);
}

void TZBCmdForm::sent(const RawSendResult& r)
{
    send_->setEnabled(list_->count() > 0);
    switch (r.outcome) {
    case RawSendResult::Outcome::Answered:
        status_->setText(QStringLiteral("Gesendet: %1\nAntwort: %2")
                             .arg(HexBytes(r.request.data(), r.request.size()).trimmed(),
                                  HexBytes(r.answer.data(), r.answer.size()).trimmed()));
        break;
    case RawSendResult::Outcome::NoAnswer:
        status_->setText(QStringLiteral("Gesendet: %1\nKeine Antwort").arg(HexBytes(r.request.data(), r.request.size()).trimmed()));
        break;
    case RawSendResult::Outcome::NotSent:
        status_->setText(QStringLiteral("Nicht gesendet: ") + r.problem);
        break;
    }
}

void TZBCmdForm::showEvent(QShowEvent* e)
{
    flow_.Show();
    send_->setFocus();
    if (parentWidget())
        move(parentWidget()->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(e);
}

void TZBCmdForm::done(int result)
{
    flow_.Close();
    QDialog::done(result);
}

} // namespace kadex
