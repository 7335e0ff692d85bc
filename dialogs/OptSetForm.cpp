#include "dialogs/OptSetForm.h"

#include "device/model/WindowFields.h"
#include "mainwindow/ModelBinder.h"
#include "mainwindow/WidgetFactory.h"
#include "core/MainCore.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kadex {

using namespace gui;

TOptSetForm::TOptSetForm(TMainCore& core, FolderChooser chooseFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), core_(core), chooseFolder_(std::move(chooseFolder))
{
    setObjectName(QStringLiteral("TOptSetForm"));
    setWindowTitle(QStringLiteral("Optionen"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    top->setSizeConstraint(QLayout::SetFixedSize);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("PageControlOptionen"));
    top->addWidget(tabs_);

    const auto folderGroup = [](QWidget* page, const char* group, const char* edit, const char* button) {
        QGroupBox* box = NewGroup(page, group, QString());
        auto* h = new QHBoxLayout(box);
        h->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
        h->addWidget(NewTextEdit(box, edit, 40));
        h->addWidget(NewButton(box, button, QString()));
        return box;
    };

    auto* allg = new QWidget(tabs_);
    allg->setObjectName(QStringLiteral("TabSheetOptionAllg"));
    {
        auto* g = new QGridLayout(allg);
        const char* rows[][2] = {{"LabelSprache", "ComboBoxSprache"}, {"LabelCOMNr", "ComboBoxCOMNr"}, {"LabelEinheit", "ComboBoxEinheit"}};
        int r = 0;
        for (const auto& row : rows) {
            g->addWidget(NewLabel(allg, row[0], QString()), r, 0);
            QComboBox* combo = NewCombo(allg, row[1], {});
            if (qstrcmp(row[1], "ComboBoxCOMNr") == 0) {
                // Device paths such as /dev/serial/by-id/... are long; the list is filled later.
                combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
                combo->setMinimumContentsLength(24);
                g->addWidget(combo, r, 1, 1, 2);
            } else {
                g->addWidget(combo, r, 1);
            }
            ++r;
        }
        g->addWidget(folderGroup(allg, "GroupBoxLogDateiAbl", "EditLogDateiAbl", "ButtonLogDateiAbl"), r, 0, 1, 3);
        g->setColumnStretch(2, 1);
    }
    tabs_->addTab(allg, QString());

    auto* oem = new QWidget(tabs_);
    oem->setObjectName(QStringLiteral("TabSheetOptionOEM"));
    {
        auto* g = new QGridLayout(oem);
        g->addWidget(NewLabel(oem, "LabelPasswordInput", QString()), 0, 0);
        g->addWidget(NewTextEdit(oem, "EditPasswordInput", 12), 0, 1);
        g->addWidget(NewLabel(oem, "LabelPasswordHint", QString()), 0, 2);
        g->addWidget(NewLabel(oem, "LabelOEMInputOpt", QString()), 1, 0);
        g->addWidget(NewTextEdit(oem, "EditOEMInputOpt", 18), 1, 1);
        // The density is edited on the main window; its field here only holds the text.
        g->addWidget(folderGroup(oem, "GroupBoxDefaultDateiAbl", "EditDefaultDateiAbl", "ButtonDefaultDateiAbl"), 2, 0, 1, 3);
        g->setColumnStretch(2, 1);
    }
    tabs_->addTab(oem, QString());

    auto* row = new QDialogButtonBox(this);
    ok_ = NewButton(this, "ButtonOk", QString());
    abort_ = NewButton(this, "ButtonAbort", QString());
    ok_->setDefault(true);
    row->addButton(ok_, QDialogButtonBox::AcceptRole);
    row->addButton(abort_, QDialogButtonBox::RejectRole);
    top->addWidget(row);

    binder_ = new ModelBinder(core_.Ctx.model, *this, {}, this);

    connect(findChild<QPushButton*>(QStringLiteral("ButtonLogDateiAbl")), &QPushButton::clicked, this,
            [this] { browse("GroupBoxLogDateiAbl", "EditLogDateiAbl"); });
    connect(findChild<QPushButton*>(QStringLiteral("ButtonDefaultDateiAbl")), &QPushButton::clicked, this,
            [this] { browse("GroupBoxDefaultDateiAbl", "EditDefaultDateiAbl"); });
    connect(ok_, &QPushButton::clicked, this, [this] {
        core_.Options.Accept();
        QDialog::accept();
    });
    connect(abort_, &QPushButton::clicked, this, &TOptSetForm::reject);
}

void TOptSetForm::showEvent(QShowEvent* e)
{
    core_.Options.Show();
    tabs_->setCurrentIndex(0);
    if (parentWidget()) {
        adjustSize();
        move(parentWidget()->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(e);
    ok_->setFocus();
}

void TOptSetForm::reject()
{
    // Cancel, Escape and the title bar's close all restore: an edited password or OEM text
    // left in the fields would otherwise be written with the next "Setzen" unannounced.
    core_.Options.Cancel();
    QDialog::reject();
}

void TOptSetForm::browse(const char* group, const char* edit)
{
    WindowModel& m = core_.Ctx.model;
    const QString field = QString::fromLatin1(edit);
    const QString chosen = chooseFolder_ ? chooseFolder_(this, m.caption(QString::fromLatin1(group)), m.text(field)) : QString();
    if (!chosen.isEmpty())
        m.setText(field, chosen, Origin::User);
}

} // namespace kadex
