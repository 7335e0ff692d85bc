#include "dialogs/FieldDialog.h"

#include "mainwindow/ModelBinder.h"

#include <QAbstractSpinBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>

namespace kadex {

TFieldDialog::TFieldDialog(WindowModel& model, FieldId self, QWidget* mainWindow, Qt::WindowFlags flags)
    : QDialog(mainWindow, flags), model_(model), self_(self), main_(mainWindow)
{
    setObjectName(self.name());
}

TFieldDialog::~TFieldDialog() = default;

void TFieldDialog::Bind()
{
    binder_ = new ModelBinder(model_, *this, {}, this);
    // After the binder: its range comes first, the widening after it.
    connect(&model_, &WindowModel::fieldChanged, this, &TFieldDialog::onFieldChanged, Qt::QueuedConnection);
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QLineEdit*>(w)) {
            if (!qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
                w->installEventFilter(this);
        }
        if (qobject_cast<QSpinBox*>(w))
            widenSpin(w->objectName());
    }
    setWindowTitle(model_.caption(self_));
    follow();
}

void TFieldDialog::widenSpin(const QString& field)
{
    auto* spin = findChild<QSpinBox*>(field);
    if (!spin || !model_.has(field))
        return;
    const FieldState s = model_.state(field);
    if (!s.ranged || s.minimum <= 0)
        return;
    const QSignalBlocker block(spin);
    spin->setMinimum(0);
    spin->setValue(static_cast<int>(s.value));
}

void TFieldDialog::onFieldChanged(const QString& field, kadex::Prop prop)
{
    if (field == self_.name()) {
        if (prop == Prop::Caption)
            setWindowTitle(model_.caption(self_));
        else if (prop == Prop::Visible)
            follow();
    } else if (prop == Prop::Range || prop == Prop::Value) {
        widenSpin(field);
    }
}

void TFieldDialog::follow()
{
    const bool shown = model_.visible(self_);
    if (shown == isVisible())
        return;
    if (!shown) {
        hide();
        return;
    }
    aboutToOpen();
    adjustSize();
    centreOnMainWindow();
    show();
    raise();
    activateWindow();
}

void TFieldDialog::centreOnMainWindow()
{
    if (!main_)
        return;
    const QRect frame = main_->frameGeometry();
    QPoint topLeft = frame.center() - QPoint(width() / 2, height() / 2);
    if (const QScreen* screen = main_->screen()) {
        // Centred, but never partly off the screen the main window is on.
        const QRect avail = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), avail.left(), std::max(avail.left(), avail.right() - width())));
        topLeft.setY(std::clamp(topLeft.y(), avail.top(), std::max(avail.top(), avail.bottom() - height())));
    }
    move(topLeft);
}

void TFieldDialog::reject()
{
    // Escape: the field closes the dialog, so that whoever watches it learns of the close.
    model_.setVisible(self_, false);
    QDialog::reject();
}

void TFieldDialog::closeEvent(QCloseEvent* event)
{
    model_.setVisible(self_, false);
    QDialog::closeEvent(event);
}

bool TFieldDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            auto* w = static_cast<QWidget*>(watched);
            if (model_.has(w->objectName())) {
                // Taken here: a spin box would otherwise report its typed value once more
                // after the leave rule corrected it.
                if (auto* spin = qobject_cast<QAbstractSpinBox*>(w))
                    spin->interpretText();
                model_.leave(w->objectName());
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kadex
