#include "dialogs/InfoForm.h"

#include "common/Version.h"
#include "mainwindow/Retranslate.h"
#include "settings/Texts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace kadex {

TInfoForm::TInfoForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("InfoForm"));
    const auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto* image = label("Image1");
    image->setPixmap(QPixmap(QStringLiteral(":/kadex/kadex-tool.png"))
                         .scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    QLabel* title = label("LabelTitle");
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    title->setFont(big);
    version_ = label("LabelVersion");
    version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QLabel* web = label("LabelWebAdr");
    web->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* grid = new QGridLayout;
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(label("LabelVersiontext"), 1, 0);
    grid->addWidget(version_, 1, 1);
    grid->addWidget(label("LabelBetriebsys"), 2, 0, 1, 2);
    grid->addWidget(label("LabelCopyright"), 3, 0, 1, 2);
    grid->addWidget(web, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(image, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(grid, 1);

    ok_ = new QPushButton(this);
    ok_->setObjectName(QStringLiteral("ButtonOk"));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addSpacing(8);
    outer->addLayout(buttons);
    // A fixed dialog border: the size the contents need.
    outer->setSizeConstraint(QLayout::SetFixedSize);
    Retranslate();
}

void TInfoForm::Retranslate()
{
    gui::ApplyWidgetTexts(*this, {QStringLiteral("FORM_INFO")});
    ok_->setText(CurrentTexts()->Buttons.ButtonOk);
}

void TInfoForm::showEvent(QShowEvent* e)
{
    // Computed each time the box is shown, from the version built into the program.
    version_->setText(QString::fromLatin1(VersionString()));
    QDialog::showEvent(e);
    if (parentWidget()) {
        const QRect host = parentWidget()->window()->frameGeometry();
        move(host.center() - rect().center());
    }
}

} // namespace kadex
