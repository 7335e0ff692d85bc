#include "mainwindow/Retranslate.h"

#include "settings/Language.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QWidget>

namespace kadex::gui {

namespace {

void setCaption(QObject* o, const QString& text)
{
    if (auto* l = qobject_cast<QLabel*>(o))
        l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(o))
        b->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(o))
        g->setTitle(text);
    else if (auto* a = qobject_cast<QAction*>(o))
        a->setText(text);
    else if (auto* w = qobject_cast<QWidget*>(o)) {
        // A page of a tab control: the tab's text.
        QWidget* p = w->parentWidget();
        for (; p; p = p->parentWidget())
            if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
                const int i = tabs->indexOf(w);
                if (i >= 0)
                    tabs->setTabText(i, text);
                break;
            }
    }
}

void setHint(QObject* o, const QString& text)
{
    if (auto* a = qobject_cast<QAction*>(o))
        a->setToolTip(text);
    else if (auto* w = qobject_cast<QWidget*>(o))
        w->setToolTip(text);
}

} // namespace

void ApplyWidgetTexts(QWidget& root, const QStringList& sections, const std::function<bool(const QString&)>& skip,
                      int reglerFkt)
{
    const auto lang = CurrentLanguage();
    const int fkt = reglerFkt == 2 ? 2 : 1;
    // Only this window's own controls: its dialogs are windows with texts of their own.
    const auto inRoot = [&root](QObject* o) {
        for (QObject* p = o; p; p = p->parent())
            if (auto* w = qobject_cast<QWidget*>(p))
                return w->window() == &root;
        return true;
    };
    QHash<QString, QList<QObject*>> byName;
    byName[root.objectName()] << &root;
    for (QObject* o : root.findChildren<QObject*>())
        if (!o->objectName().isEmpty() && inRoot(o))
            byName[o->objectName()] << o;
    for (const TElementText& e : lang->Elements(fkt, false)) {
        if (!sections.contains(e.section))
            continue;
        if (e.element == QLatin1String("FormTitle")) {
            root.setWindowTitle(e.text);
            continue;
        }
        if (skip && skip(e.element))
            continue;
        for (QObject* o : byName.value(e.element)) {
            if (e.hint)
                setHint(o, e.text);
            else
                setCaption(o, e.text);
        }
    }
}

QString LangText(const char* section, const char* key)
{
    return CurrentLanguage()->Text(QString::fromLatin1(section), QString::fromLatin1(key));
}

} // namespace kadex::gui
