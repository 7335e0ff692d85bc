#include "mainwindow/MainWindow.h"

#include "mainwindow/MainWindowTabs.h"
#include "mainwindow/WidgetFactory.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QEvent>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedLayout>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

// Resources of a static library must be registered by hand, from the global namespace.
static void InitKadexResources()
{
    Q_INIT_RESOURCE(kadex);
}

namespace kadex {

using namespace gui;

namespace {

constexpr int kLogoHeight = 90;
constexpr int kIndicatorSize = 32;

QAction* NewAction(QObject* parent, const char* name, const QString& text,
                   const QKeySequence& shortcut = {}, const QString& hint = {})
{
    auto* action = new QAction(text, parent);
    action->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    // Only a tool tip: a status tip would push the three status fields aside while it shows.
    if (!hint.isEmpty())
        action->setToolTip(hint);
    return action;
}

// A toolbar icon that looks plainly disabled when its command is: the style's grey version
// of a mostly grey icon (the printer) looks like the enabled one, so it is faded as well.
QIcon ToolIcon(const QString& resource)
{
    const QImage normal = QImage(resource).convertToFormat(QImage::Format_ARGB32);
    QIcon icon(QPixmap::fromImage(normal));
    QImage faded = normal;
    for (int y = 0; y < faded.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(faded.scanLine(y));
        for (int x = 0; x < faded.width(); ++x) {
            const int grey = qGray(line[x]);
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 35 / 100);
        }
    }
    icon.addPixmap(QPixmap::fromImage(faded), QIcon::Disabled);
    return icon;
}

// Holds the window's contents. Its minimum is the contents' minimum, so the window's minimum
// comes from the layout; where the window is still made smaller (a window manager that
// ignores the minimum, or none at all), the contents scroll instead of being squashed until
// their texts overlap.
class ContentArea : public QScrollArea {
public:
    explicit ContentArea(QWidget* parent) : QScrollArea(parent)
    {
        setObjectName(QStringLiteral("ScrollBoxHaupt"));
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
    }
    QSize minimumSizeHint() const override
    {
        return widget() ? widget()->minimumSizeHint() : QScrollArea::minimumSizeHint();
    }
    QSize sizeHint() const override
    {
        return widget() ? widget()->sizeHint() : QScrollArea::sizeHint();
    }

protected:
    // The contents' minimum grows when captions arrive from the model after the window was
    // built; pass that on, or the window keeps the minimum of the empty captions.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }
};

QToolButton* NewMenuButton(QWidget* parent, const char* name, const QString& text, QMenu* menu)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    return button;
}

QLabel* NewPicture(QWidget* parent, const char* name, const QString& resource, const QString& hint)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setPixmap(QPixmap(resource));
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(kIndicatorSize, kIndicatorSize);
    label->setToolTip(hint);
    // Opaque, so that the picture on top hides the one underneath completely.
    label->setAutoFillBackground(true);
    return label;
}

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
{
    InitKadexResources();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Kadex Tool"));
    setWindowIcon(QIcon(QStringLiteral(":/kadex/kadex-tool.png")));
    // The toolbar is fixed; its show/hide menu would only confuse.
    setContextMenuPolicy(Qt::NoContextMenu);

    BuildActions();
    BuildToolBar();
    BuildStatusBar();

    auto* area = new ContentArea(this);
    auto* splitter = new QSplitter(Qt::Horizontal, area);
    splitter->setObjectName(QStringLiteral("SplitterIdent"));
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(BuildIdentPane(splitter));

    auto* content = new QWidget(splitter);
    content->setObjectName(QStringLiteral("PanelHaupt"));
    auto* mainBox = new QVBoxLayout(content);
    mainBox->setContentsMargins(0, 4, 4, 4);
    mainBox->setSpacing(kSpacing);
    BuildTabs(content);
    mainBox->addWidget(PageControl1_, 1);
    mainBox->addWidget(BuildButtonStrip(content));
    // Before anything measures the layouts: a panel hidden after that would still count in the
    // window's minimum width until the window is shown.
    ShowTabPanels(PageControl1_->currentIndex());
    splitter->addWidget(content);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kIdentPaneWidth, kClientWidth - kIdentPaneWidth});
    area->setWidget(splitter);
    setCentralWidget(area);

    LoadUserLogo();

    resize(kClientWidth, kClientHeight);
    if (const QScreen* screen = this->screen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

TMainForm::~TMainForm() = default;

// ---------------------------------------------------------------------------------------------
// Menus and toolbar

void TMainForm::BuildActions()
{
    auto* datei = new QMenu(this);
    datei->setObjectName(QStringLiteral("MenuDatei"));
    QAction* open = NewAction(this, "DateiOeffnen", QString(),
                              QKeySequence(Qt::Key_F8), QStringLiteral("Datei öffnen"));
    open->setIcon(ToolIcon(QStringLiteral(":/kadex/open.png")));
    QAction* save = NewAction(this, "DateiSpeichern", QString(), {},
                              QStringLiteral("Datei speichern"));
    save->setIcon(ToolIcon(QStringLiteral(":/kadex/save.png")));
    QAction* saveAs = NewAction(this, "DateiSpeichernUnter", QString());
    QAction* print = NewAction(this, "DateiDrucken", QString(),
                               QKeySequence(Qt::CTRL | Qt::Key_P), QStringLiteral("Einstelldaten drucken"));
    print->setIcon(ToolIcon(QStringLiteral(":/kadex/print.png")));
    QAction* printFile = NewAction(this, "DateiDruckenInDatei", QString(),
                                   QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P));
    QAction* quit = NewAction(this, "DateiBeenden", QString());
    datei->addAction(open);
    datei->addAction(save);
    datei->addAction(saveAs);
    datei->addSeparator();
    datei->addAction(print);
    datei->addAction(printFile);
    datei->addSeparator();
    datei->addAction(quit);

    auto* extras = new QMenu(this);
    extras->setObjectName(QStringLiteral("MenuExtras"));
    QAction* regFkt = NewAction(this, "ExtrasRegSetting", QString(),
                                QKeySequence(Qt::Key_F9), QStringLiteral("Regler Funktion einstellen"));
    regFkt->setIcon(ToolIcon(QStringLiteral(":/kadex/regfkt.png")));
    QAction* zbAdr = NewAction(this, "ExtrasZBAdress", QString(), QKeySequence(Qt::Key_F2));
    QAction* options = NewAction(this, "ExtrasOptionen", QString());
    QAction* transfer = NewAction(this, "ExtrasTransferAnzeige", QString());
    transfer->setCheckable(true);
    QAction* zbCmd = NewAction(this, "ExtrasZBCommand", QString());
    QAction* busScan = NewAction(this, "ExtrasBusScan", QString());
    QAction* verlauf = NewAction(this, "ExtrasVerlauf", QString());
    extras->addAction(regFkt);
    extras->addAction(zbAdr);
    extras->addAction(busScan);
    extras->addAction(verlauf);
    extras->addAction(options);
    extras->addSeparator();
    extras->addAction(transfer);
    extras->addAction(zbCmd);

    auto* hilfe = new QMenu(this);
    hilfe->setObjectName(QStringLiteral("MenuHilfe"));
    QAction* help = NewAction(this, "HilfeHilfePdf", QString(), QKeySequence(Qt::Key_F1));
    QAction* info = NewAction(this, "HilfeInfo", QString(), QKeySequence(Qt::CTRL | Qt::Key_I));
    hilfe->addAction(help);
    hilfe->addAction(info);

    // The shortcuts must work while the menus are closed, so the window holds the actions too.
    addActions(datei->actions());
    addActions(extras->actions());
    addActions(hilfe->actions());
}

void TMainForm::BuildToolBar()
{
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBarMain"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(24, 24));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, bar);

    bar->addWidget(NewMenuButton(bar, "ToolButtonDateiMenu", QString(),
                                 findChild<QMenu*>(QStringLiteral("MenuDatei"))));
    bar->addWidget(NewMenuButton(bar, "ToolButtonExtrasMenu", QString(),
                                 findChild<QMenu*>(QStringLiteral("MenuExtras"))));
    bar->addWidget(NewMenuButton(bar, "ToolButtonHilfeMenu", QString(),
                                 findChild<QMenu*>(QStringLiteral("MenuHilfe"))));
    bar->addSeparator();

    QStringList addresses{QStringLiteral("PP")};
    for (int i = 1; i <= 8; ++i)
        addresses << QStringLiteral("ZB%1").arg(i);
    QComboBox* zb = NewCombo(bar, "ComboBoxZBAdress", addresses);
    zb->setMaxVisibleItems(9);
    zb->setToolTip(QStringLiteral("ZB-Adresse"));
    zb->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    bar->addWidget(zb);
    bar->addSeparator();

    // Buttons made by the toolbar follow their action's visible and enabled state.
    const auto addButton = [this, bar](const char* actionName, const char* buttonName) {
        QAction* action = Action(QLatin1String(actionName));
        bar->addAction(action);
        if (QWidget* w = bar->widgetForAction(action))
            w->setObjectName(QLatin1String(buttonName));
    };
    addButton("DateiOeffnen", "ToolButtonOeffnen");
    addButton("DateiSpeichern", "ToolButtonSpeichern");
    addButton("DateiDrucken", "ToolButtonDrucken");
    bar->addSeparator();
    addButton("ExtrasRegSetting", "ToolButtonRegFkt");
}

void TMainForm::BuildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    const char* names[3] = {"StatusBarCom", "StatusBarFunktion", "StatusBarMessage"};
    const int widths[3] = {50, 120, 50};
    for (int i = 0; i < 3; ++i) {
        auto* field = new QLabel(bar);
        field->setObjectName(QLatin1String(names[i]));
        field->setMinimumWidth(widths[i]);
        field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        field->setMargin(1);
        // The message field takes the rest of the bar.
        bar->addWidget(field, i == StatusMessage ? 1 : 0);
        StatusFields_[i] = field;
    }
}

// ---------------------------------------------------------------------------------------------
// Identification pane, tabs and the button strip under them

QWidget* TMainForm::BuildIdentPane(QWidget* parent)
{
    // No minimum of its own: the splitter keeps the pane at its layout's minimum, so the
    // logo and the serial number are never cut.
    QFrame* pane = NewContainerPanel(parent, "PanelIdent");
    auto* box = new QVBoxLayout(pane);
    box->setContentsMargins(6, 6, 6, 6);
    box->setSpacing(10);

    ImageLogo_ = new QLabel(pane);
    ImageLogo_->setObjectName(QStringLiteral("ImageLogo"));
    ImageLogo_->setAlignment(Qt::AlignCenter);
    ImageLogo_->setMinimumHeight(kLogoHeight);
    ImageLogo_->setPixmap(QPixmap(QStringLiteral(":/kadex/logo.png")));
    box->addWidget(ImageLogo_);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(kSpacing);
    fields->setVerticalSpacing(kSpacing);
    int row = 0;
    const auto add = [&](const char* label, const QString& caption, const char* edit) {
        fields->addWidget(NewLabel(pane, label, caption), row, 0);
        fields->addWidget(NewTextEdit(pane, edit, 12, true), row, 1);
        ++row;
    };
    add("LabelTyp", QString(), "EditFenwix");
    add("LabelOEM", QString(), "EditOEM");
    add("LabelPosition", QString(), "EditPosition");
    add("LabelSerNr", QString(), "EditSerNr");
    add("LabelZBAdr", QString(), "EditZBAdr");
    // The serial number is the longest identification text; it is always shown whole.
    if (auto* serNr = pane->findChild<QLineEdit*>(QStringLiteral("EditSerNr")))
        serNr->setMinimumWidth(FieldWidthFor(serNr, QStringLiteral("00000-00000-000-000")));
    fields->setColumnStretch(1, 1);
    box->addLayout(fields);
    box->addStretch(1);
    return pane;
}

void TMainForm::BuildTabs(QWidget* parent)
{
    PageControl1_ = new QTabWidget(parent);
    PageControl1_->setObjectName(QStringLiteral("PageControl1"));
    PageControl1_->addTab(BuildTabKonfigOEM(PageControl1_), QString());
    PageControl1_->addTab(BuildTabExperte(PageControl1_), QString());
    PageControl1_->addTab(BuildTabService(PageControl1_), QString());
    PageControl1_->addTab(BuildTabKonfigQV(PageControl1_), QString());
    PageControl1_->addTab(BuildTabTransfer(PageControl1_), QString());
    // The telegram log is shown only while the Transfer display is switched on.
    PageControl1_->setTabVisible(TabTransfer, false);
    PageControl1_->setCurrentIndex(TabKonfigOEM);
    connect(PageControl1_, &QTabWidget::currentChanged, this, &TMainForm::ShowTabPanels);
}

QWidget* TMainForm::BuildButtonStrip(QWidget* parent)
{
    QFrame* strip = NewContainerPanel(parent, "PanelButtons");
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kSpacing);

    // Comparison indicator: "equal" underneath, "not equal" on top; hiding the top picture
    // shows the bottom one.
    auto* indicator = new QWidget(strip);
    indicator->setObjectName(QStringLiteral("PanelVergleich"));
    indicator->setFixedSize(kIndicatorSize, kIndicatorSize);
    auto* stack = new QStackedLayout(indicator);
    stack->setStackingMode(QStackedLayout::StackAll);
    stack->setContentsMargins(0, 0, 0, 0);
    QLabel* equal = NewPicture(indicator, "ImageEqual", QStringLiteral(":/kadex/equal.png"),
                               QStringLiteral("Fenster und Gerät stimmen überein"));
    QLabel* notEqual = NewPicture(indicator, "ImageNotEqual", QStringLiteral(":/kadex/notequal.png"),
                                  QStringLiteral("Fenster und Gerät stimmen nicht überein"));
    stack->addWidget(equal);
    stack->addWidget(notEqual);
    stack->setCurrentWidget(notEqual);
    notEqual->raise();
    row->addWidget(indicator, 0, Qt::AlignVCenter);

    // Rewritten every second while connected: a fixed size keeps the text change from asking
    // the layouts for a new pass, and an opaque background keeps the parents from repainting.
    QLabel* online = NewPanel(strip, "PanelSecOnline", FieldWidth(strip, 8) + 4);
    online->setAlignment(Qt::AlignCenter);
    online->setText(QStringLiteral("00:00:00"));
    online->setFixedSize(std::max(online->minimumWidth(), online->sizeHint().width()), online->sizeHint().height());
    online->clear();
    online->setAutoFillBackground(true);
    online->setToolTip(QStringLiteral("Online-Zeit"));
    row->addWidget(online);

    row->addWidget(NewButton(strip, "ButtonLesen", QString()));
    row->addWidget(NewButton(strip, "ButtonSetzen", QString()));

    QFrame* betrieb = NewContainerPanel(strip, "PanelBetrieb");
    {
        auto* box = new QHBoxLayout(betrieb);
        box->setContentsMargins(0, 0, 0, 0);
        QPushButton* toggle = NewButton(betrieb, "SpeedButtonBetrieb", QString());
        toggle->setCheckable(true);
        box->addWidget(toggle);
    }
    PanelBetrieb_ = betrieb;
    row->addWidget(betrieb);

    QFrame* test = NewContainerPanel(strip, "PanelTest");
    {
        auto* box = new QHBoxLayout(test);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(kSpacing);
        box->addWidget(NewButton(test, "ButtonTest", QString()));
        box->addWidget(NewButton(test, "ButtonDefaultLaden", QString()));
    }
    PanelTest_ = test;
    row->addWidget(test);
    row->addSpacing(12);

    // The two status fields, one above the other, take the rest of the strip. A long status
    // text must not widen the window, so their width ignores the text.
    auto* status = new QVBoxLayout;
    status->setSpacing(2);
    const int statusWidth = TextWidth(strip, {QStringLiteral("Auto [Führungseingang W1]")}) + 12;
    const struct {
        const char* name;
        QString hint;
    } panels[] = {{"PanelProgStatus", QStringLiteral("Programmstatus")},
                  {"PanelBetrStatus", QStringLiteral("Betriebsstatus")}};
    for (const auto& p : panels) {
        QLabel* panel = NewPanel(strip, p.name, statusWidth);
        panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        panel->setToolTip(p.hint);
        status->addWidget(panel);
    }
    row->addLayout(status, 1);
    return strip;
}

void TMainForm::LoadUserLogo()
{
    const QFileInfo file(QDir::current().filePath(QLatin1String(kUserLogoFile)));
    if (!file.isFile())
        return;
    const QImage image(file.absoluteFilePath());
    if (image.isNull())
        return; // an unreadable file leaves the built-in logo
    QPixmap pixmap = QPixmap::fromImage(image);
    // A large picture is fitted into the pane; a small one keeps its pixels.
    const int maxWidth = kIdentPaneWidth - 12;
    if (pixmap.width() > maxWidth)
        pixmap = pixmap.scaledToWidth(maxWidth, Qt::SmoothTransformation);
    ImageLogo_->setPixmap(pixmap);
}

void TMainForm::ShowTabPanels(int index)
{
    PanelBetrieb_->setVisible(index == TabService);
    PanelTest_->setVisible(index == TabKonfigOEM);
}

// ---------------------------------------------------------------------------------------------
// Lookup by name

QWidget* TMainForm::Control(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    if (name == objectName())
        return const_cast<TMainForm*>(this);
    return findChild<QWidget*>(name);
}

QAction* TMainForm::Action(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

QButtonGroup* TMainForm::ButtonGroup(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    return findChild<QButtonGroup*>(name);
}

QLabel* TMainForm::StatusField(int index) const
{
    return index >= 0 && index < 3 ? StatusFields_[index] : nullptr;
}

QStringList TMainForm::ControlNames() const
{
    QStringList names;
    for (const QWidget* w : findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            names << name;
    }
    return names;
}

QStringList TMainForm::ActionNames() const
{
    QStringList names;
    for (const QAction* a : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!a->objectName().isEmpty())
            names << a->objectName();
    }
    return names;
}

} // namespace kadex
