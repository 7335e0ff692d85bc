#include "mainwindow/DifferenceList.h"

#include "mainwindow/Retranslate.h"

#include "mainwindow/ModelBinder.h"

#include <QAbstractButton>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
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
      indicatorObject_(&indicator),
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
    // Compared as a plain address: while the label is being destroyed it is no QLabel any more,
    // and the guarded pointer would cast it to one.
    if (event->type() == QEvent::MouseButtonRelease && watched == indicatorObject_ &&
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
        dialog_->setModal(false);
        auto* layout = new QVBoxLayout(dialog_);
        tree_ = new QTreeWidget(dialog_);
        tree_->setObjectName(QStringLiteral("DifferenceListTree"));
        tree_->setRootIsDecorated(false);
        tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        layout->addWidget(tree_);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog_);
        connect(buttons, &QDialogButtonBox::rejected, dialog_, &QDialog::close);
        layout->addWidget(buttons);
        dialog_->resize(460, 260);
    }
    // The language may have changed since the list was last open.
    dialog_->setWindowTitle(gui::LangText("HAUPTFENSTER", "DifferenceTitle"));
    tree_->setHeaderLabels({gui::LangText("HAUPTFENSTER", "DifferenceField"), gui::LangText("HAUPTFENSTER", "DifferenceWindow"),
                            gui::LangText("HAUPTFENSTER", "DifferenceDevice")});
    refresh();
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

void DifferenceList::refresh()
{
    tree_->clear();
    for (const DifferenceRow& r : rows_()) {
        auto* item = new QTreeWidgetItem(QStringList{readableName(r), r.window, r.device});
        item->setToolTip(0, r.name.isEmpty() ? r.field : r.name);
        tree_->addTopLevelItem(item);
    }
}

namespace {
QString plain(QString text)
{
    text.remove(QLatin1Char('&'));
    return text.simplified();
}

QLabel* labelLeftOf(QWidget* w)
{
    QWidget* parent = w->parentWidget();
    auto* grid = parent ? qobject_cast<QGridLayout*>(parent->layout()) : nullptr;
    const int index = grid ? grid->indexOf(w) : -1;
    if (index < 0)
        return nullptr;
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    // The nearest label to the left (a choice button may stand between).
    for (int c = column - 1; c >= 0; --c) {
        QLayoutItem* left = grid->itemAtPosition(row, c);
        if (auto* label = left ? qobject_cast<QLabel*>(left->widget()) : nullptr)
            return label;
    }
    return nullptr;
}
} // namespace

QString DifferenceList::readableName(const DifferenceRow& row) const
{
    QWidget* window = indicator_ ? indicator_->window() : nullptr;
    QWidget* w = window && !row.name.isEmpty() ? window->findChild<QWidget*>(row.name) : nullptr;
    if (!w)
        return row.field;
    QString label;
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        label = plain(button->text());
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (label.isEmpty() && l->buddy() == w)
            label = plain(l->text());
    }
    if (label.isEmpty())
        if (QLabel* l = labelLeftOf(w))
            label = plain(l->text());
    QString group;
    for (QWidget* p = w->parentWidget(); p && p != window && group.isEmpty(); p = p->parentWidget())
        if (auto* box = qobject_cast<QGroupBox*>(p))
            group = plain(box->title());
    if (label.isEmpty())
        return group.isEmpty() ? row.field : group + QStringLiteral(" \u203A ") + row.field;
    return group.isEmpty() ? label : group + QStringLiteral(" \u203A ") + label;
}

} // namespace kadex
