#include "mainwindow/DifferenceList.h"

#include "mainwindow/ModelBinder.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kadex {

DifferenceList::DifferenceList(QLabel& indicator, RowSource rows, ModelBinder& binder, QObject* parent)
    : QObject(parent),
      indicator_(&indicator),
      rows_(std::move(rows))
{
    indicator.installEventFilter(this);
    indicator.setCursor(Qt::PointingHandCursor);
    connect(&binder, &ModelBinder::applied, this, [this](const QString& field, Prop) {
        if (dialog_ && dialog_->isVisible() && field == QLatin1String("ImageNotEqual"))
            refresh();
    });
}

bool DifferenceList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == indicator_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Open();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void DifferenceList::Open()
{
    if (!dialog_) {
        dialog_ = new QDialog(indicator_ ? indicator_->window() : nullptr);
        dialog_->setObjectName(QStringLiteral("DifferenceListDialog"));
        dialog_->setWindowTitle(QStringLiteral("Fenster und Gerät: Unterschiede"));
        dialog_->setModal(false);
        auto* layout = new QVBoxLayout(dialog_);
        tree_ = new QTreeWidget(dialog_);
        tree_->setObjectName(QStringLiteral("DifferenceListTree"));
        tree_->setRootIsDecorated(false);
        tree_->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Window"), QStringLiteral("Device")});
        tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        layout->addWidget(tree_);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog_);
        connect(buttons, &QDialogButtonBox::rejected, dialog_, &QDialog::close);
        layout->addWidget(buttons);
        dialog_->resize(460, 260);
    }
    refresh();
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

void DifferenceList::refresh()
{
    tree_->clear();
    for (const DifferenceRow& r : rows_())
        tree_->addTopLevelItem(new QTreeWidgetItem(QStringList{r.field, r.window, r.device}));
}

} // namespace kadex
