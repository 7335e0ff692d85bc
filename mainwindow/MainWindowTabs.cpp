#include "mainwindow/MainWindowTabs.h"

#include "mainwindow/LivePlot.h"
#include "mainwindow/WidgetFactory.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QVBoxLayout>

#include <algorithm>

namespace kadex::gui {

namespace {

// Every unit a flow or pressure field can show; unit labels are sized for the widest.
const QStringList& AllUnits()
{
    static const QStringList units = {QStringLiteral("m³/h"), QStringLiteral("l/s"), QStringLiteral("cfm"),
                                      QStringLiteral("Pa"), QStringLiteral("uPSI")};
    return units;
}

const QString kPressureUnit = QStringLiteral("Pa");

// Digits of the numeric fields: flow values reach 9505124 in uPSI, percentages read 100.00.
constexpr int kUnitsChars = 7;
constexpr int kPercentChars = 6;
constexpr int kVoltChars = 4;
constexpr int kTextChars = 16;

QWidget* NewPage(QWidget* parent, const char* name)
{
    auto* page = new QWidget(parent);
    page->setObjectName(QLatin1String(name));
    return page;
}

QGridLayout* NewPageGrid(QWidget* page)
{
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(9, 9, 9, 9);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    return grid;
}

QVBoxLayout* NewGroupColumn(QGroupBox* group)
{
    auto* box = new QVBoxLayout(group);
    box->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
    box->setSpacing(kSpacing);
    return box;
}

// A row of controls in a plain horizontal box, for rows that must line up with rows in
// other containers (the V'mid row lives in its own panel).
QHBoxLayout* NewRow()
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kSpacing);
    return row;
}

void FixWidth(QWidget* widget, int width)
{
    widget->setFixedWidth(width);
}

// How far the frame of a titled group box starts below its top, in the group's style.
int TitleHeight(const QGroupBox* group)
{
    QStyleOptionGroupBox opt;
    opt.initFrom(group);
    // The model writes the title once bound; the frame starts where a titled one does.
    opt.text = group->title().isEmpty() ? QStringLiteral("X") : group->title();
    opt.lineWidth = 1;
    opt.midLineWidth = 0;
    opt.textAlignment = group->alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    opt.rect = QRect(0, 0, 300, 200);
    const QStyle* style = group->style();
    const QRect frame = style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxFrame, group);
    const QRect label = style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group);
    if (frame.top() > 0)
        return frame.top();
    // Some styles report the frame from the very top and draw it under the title line instead.
    return label.top() + opt.fontMetrics.height();
}

// Fields of one group in one width, the widest one's, so that their columns line up.
void EqualizeWidths(const QList<QWidget*>& widgets)
{
    int width = 0;
    for (const QWidget* w : widgets)
        width = std::max(width, w->sizeHint().width());
    for (QWidget* w : widgets)
        w->setFixedWidth(width);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// OEM (Kalibrierung)

QWidget* BuildTabKonfigOEM(QWidget* parent)
{
    QWidget* page = NewPage(parent, "TabSheetKonfigOEM");
    QGridLayout* grid = NewPageGrid(page);
    // Groups are created in the order a calibration goes (sensor, actuator, flows, texts);
    // creation order is the Tab order.

    // Sensor type
    QGroupBox* typ = NewGroup(page, "GroupBoxVAVSensorTyp", QStringLiteral("Fühlertyp"));
    {
        QButtonGroup* buttons = NewButtonGroup(page, "ButtonGroupSensTyp");
        QVBoxLayout* box = NewGroupColumn(typ);
        box->addWidget(NewRadio(typ, "RadioButtonSensTypDruck", QString(), buttons, true));
        box->addWidget(NewRadio(typ, "RadioButtonSensTypVolumenstr", QString(), buttons));
        box->addWidget(NewRadio(typ, "RadioButtonSensTypDSK3Druck", QString(), buttons));
        box->addStretch(1);
    }

    // Sensor presets
    QGroupBox* sensor = NewGroup(page, "GroupBoxVAVSensorAusw", QStringLiteral("Fühler"));
    {
        QButtonGroup* buttons = NewButtonGroup(page, "ButtonGroupSensor");
        QVBoxLayout* box = NewGroupColumn(sensor);
        box->addWidget(NewRadio(sensor, "RadioButtonDPK100", QString(), buttons));
        box->addWidget(NewRadio(sensor, "RadioButtonDPK300", QString(), buttons, true));
        box->addWidget(NewRadio(sensor, "RadioButtonDPK600", QString(), buttons));
        box->addWidget(NewRadio(sensor, "RadioButtonDPKVariabel", QString(), buttons));
        box->addStretch(1);
    }

    // Actuator presets
    QGroupBox* antrieb = NewGroup(page, "GroupBoxAntrieb", QStringLiteral("Antrieb"));
    {
        QButtonGroup* buttons = NewButtonGroup(page, "ButtonGroupAntrieb");
        QVBoxLayout* box = NewGroupColumn(antrieb);
        box->addWidget(NewRadio(antrieb, "RadioButtonAntr_HFX_ST", QString(), buttons, true));
        box->addWidget(NewRadio(antrieb, "RadioButtonAntr_RGT", QString(), buttons));
        box->addWidget(NewRadio(antrieb, "RadioButtonAntr_Variabel", QString(), buttons));
        box->addStretch(1);
    }

    // Flow levels in the function unit
    QGroupBox* volumen = NewGroup(page, "GroupBoxVAVVolumenStrom", QString());
    {
        QGridLayout* g = NewGrid(volumen);
        AddFieldRow(g, 0, NewLabel(volumen, "LabelVnomM3", QString()),
                    NewNumberEdit(volumen, "EditVnomM3", kUnitsChars),
                    NewDimLabel(volumen, "LabelVnomM3Dim", QString(), AllUnits()));
        AddFieldRow(g, 1, NewLabel(volumen, "LabelVmaxM3", QString()),
                    NewNumberEdit(volumen, "EditVmaxM3_OEM", kUnitsChars),
                    NewDimLabel(volumen, "LabelVmaxM3_OEMDim", QString(), AllUnits()));
        AddFieldRow(g, 2, NewLabel(volumen, "LabelVminM3", QString()),
                    NewNumberEdit(volumen, "EditVminM3_OEM", kUnitsChars),
                    NewDimLabel(volumen, "LabelVminM3_OEMDim", QString(), AllUnits()));
        g->setRowStretch(3, 1);
        g->setColumnStretch(3, 1);
    }

    // Flow conductance
    QGroupBox* leitwert = NewGroup(page, "GroupBoxVAVLeitwert", QString());
    {
        QGridLayout* g = NewGrid(leitwert);
        AddFieldRow(g, 0, NewLabel(leitwert, "LabelVAVLwAktiv", QStringLiteral("aktiv")),
                    NewNumberEdit(leitwert, "EditVAVLwAktiv", 8, true));
        AddFieldRow(g, 1, NewLabel(leitwert, "LabelVAVLwErmittelt", QStringLiteral("ermittelt")),
                    NewNumberEdit(leitwert, "EditVAVLwErmittelt", 8));
        g->addWidget(NewButton(leitwert, "ButtonCalculateLW", QString()), 2, 1);
        g->setRowStretch(3, 1);
        g->setColumnStretch(2, 1);
    }

    // Input range of w and U5, mirrored from the Experte tab
    QGroupBox* mode = NewGroup(page, "GroupBoxMode_OEM", QStringLiteral("Mode"));
    {
        QButtonGroup* buttons = NewButtonGroup(page, "ButtonGroupMode_OEM");
        QVBoxLayout* box = NewGroupColumn(mode);
        box->addWidget(NewRadio(mode, "RadioButtonMode_W1_2_10V_OEM", QString(), buttons));
        box->addWidget(NewRadio(mode, "RadioButtonMode_W1_0_10V_OEM", QString(), buttons, true));
        // Free range: captioned and shown only while w/U5 match neither standard range.
        QRadioButton* free = NewRadio(mode, "RadioButtonMode_W1_OEM", QString(), buttons);
        free->setVisible(false);
        box->addWidget(free);
        box->addStretch(1);
    }

    // Texts written into the device
    QGroupBox* ident = NewGroup(page, "GroupBoxIdentStrings", QStringLiteral("Identifikation-Strings"));
    {
        QGridLayout* g = NewGrid(ident);
        QButtonGroup* buttons = NewButtonGroup(page, "ButtonGroupOEMInput");
        g->addWidget(NewLabel(ident, "LabelPositionInput_OEM", QStringLiteral("Position")), 0, 0);
        g->addWidget(NewTextEdit(ident, "EditPositionInput_OEM", kTextChars), 0, 2);
        g->addWidget(NewLabel(ident, "LabelOEMInput_OEM", QStringLiteral("OEM")), 1, 0);
        QRadioButton* own = NewRadio(ident, "RadioButtonOEMInputOEM", QString(), buttons, true);
        own->setToolTip(QStringLiteral("Diesen OEM-Text schreiben"));
        g->addWidget(own, 1, 1);
        g->addWidget(NewTextEdit(ident, "EditOEMInputOEM", kTextChars), 1, 2);
        QRadioButton* fromOptions = NewRadio(ident, "RadioButtonOEMInputAnzeige", QString(), buttons);
        fromOptions->setToolTip(QStringLiteral("OEM-Kennung aus den Optionen schreiben"));
        g->addWidget(fromOptions, 2, 1);
        g->addWidget(NewTextEdit(ident, "EditOEMInputOptAnzeige", kTextChars, true), 2, 2);
        g->setColumnStretch(2, 1);
        g->setRowStretch(3, 1);
    }

    QLabel* hint = NewLabel(page, "LabelOEMHinweisVS", QString());

    grid->addWidget(typ, 0, 0);
    grid->addWidget(sensor, 0, 1);
    grid->addWidget(antrieb, 0, 2);
    grid->addWidget(volumen, 1, 0);
    grid->addWidget(leitwert, 1, 1);
    grid->addWidget(mode, 1, 2);
    grid->addWidget(ident, 2, 0, 1, 2);
    grid->addWidget(hint, 3, 0, 1, 3);
    for (int c = 0; c < 3; ++c)
        grid->setColumnStretch(c, 1);
    grid->setRowStretch(4, 1);
    return page;
}

// ---------------------------------------------------------------------------------------------
// Experte

namespace {

// Names of one voltage signal's heading and Start / Stopp rows.
struct SignalNames {
    const char* heading;
    QString headingText;
    const char* minLabel;
    const char* minEdit;
    const char* minDim;
    const char* maxLabel;
    const char* maxEdit;
    const char* maxDim;
};

QWidget* NewSignalBlock(QWidget* parent, const SignalNames& n)
{
    auto* block = new QWidget(parent);
    auto* g = new QGridLayout(block);
    g->setContentsMargins(0, 0, 0, 0);
    g->setHorizontalSpacing(kSpacing);
    g->setVerticalSpacing(kSpacing);
    g->addWidget(NewLabel(block, n.heading, n.headingText), 0, 0, 1, 3);
    AddFieldRow(g, 1, NewLabel(block, n.minLabel, QStringLiteral("Start")), NewNumberEdit(block, n.minEdit, kVoltChars),
                NewDimLabel(block, n.minDim, QStringLiteral("V")));
    AddFieldRow(g, 2, NewLabel(block, n.maxLabel, QStringLiteral("Stopp")), NewNumberEdit(block, n.maxEdit, kVoltChars),
                NewDimLabel(block, n.maxDim, QStringLiteral("V")));
    return block;
}

} // namespace

QWidget* BuildTabExperte(QWidget* parent)
{
    QWidget* page = NewPage(parent, "TabSheetExperte");
    QGridLayout* grid = NewPageGrid(page);

    QGroupBox* ansteuerung = NewGroup(page, "GroupBoxAnsteuerung", QStringLiteral("Ansteuerung"));
    {
        QVBoxLayout* box = NewGroupColumn(ansteuerung);

        // One block per signal, so that Tab runs w Start, w Stop, then U5 Start, U5 Stop: the
        // pairs the focused-value write sends together, each under its own heading.
        auto* volts = new QHBoxLayout;
        volts->setContentsMargins(0, 0, 0, 0);
        volts->setSpacing(16 + 2 * kSpacing);
        volts->addWidget(
            NewSignalBlock(ansteuerung, {"LabelW1", QStringLiteral("Führungssignal [w]"), "LabelW1Min", "EditW1Min",
                                         "LabelW1MinDim", "LabelW1Max", "EditW1Max", "LabelW1MaxDim"}));
        volts->addWidget(
            NewSignalBlock(ansteuerung, {"LabelU5", QStringLiteral("Istwertsignal [U5]"), "LabelU5Min", "EditU5Min",
                                         "LabelU5MinDim", "LabelU5Max", "EditU5Max", "LabelU5MaxDim"}));
        volts->addStretch(1);
        box->addLayout(volts);

        QGroupBox* mode = NewGroup(ansteuerung, "GroupBoxMode", QStringLiteral("Mode"));
        {
            QButtonGroup* buttons = NewButtonGroup(page, "ButtonGroupMode");
            QVBoxLayout* modeBox = NewGroupColumn(mode);
            modeBox->addWidget(NewRadio(mode, "RadioButtonMode_W1_2_10V", QString(), buttons));
            modeBox->addWidget(NewRadio(mode, "RadioButtonMode_W1_0_10V", QString(), buttons, true));
            QRadioButton* free = NewRadio(mode, "RadioButtonMode_W1", QString(), buttons);
            free->setVisible(false);
            modeBox->addWidget(free);
        }
        box->addWidget(mode);

        auto* note = new QGridLayout;
        note->setHorizontalSpacing(kSpacing);
        note->setVerticalSpacing(2);
        QLabel* hinweis = NewLabel(ansteuerung, "LabelAnsteuerung", QStringLiteral("Hinweis:"));
        hinweis->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        note->addWidget(hinweis, 0, 0);
        note->addWidget(NewHintLabel(ansteuerung, "LabelAnsteuerung1",
                                     QStringLiteral("Der Stoppunkt muss mindestens 2V über dem Startpunkt liegen.")),
                        0, 1);
        // One line: the two ranges must not be torn apart.
        note->addWidget(NewLabel(ansteuerung, "LabelAnsteuerung2",
                                 QStringLiteral("Einstellbereich w: 0 .. 10 V,   U5: 0 .. 10 V")),
                        1, 1);
        note->setColumnStretch(1, 1);
        box->addLayout(note);
        box->addStretch(1);
    }

    QGroupBox* info = NewGroup(page, "GroupBoxSystemInfo", QStringLiteral("Kadex System-Information"));
    {
        QGridLayout* g = NewGrid(info);
        int row = 0;
        AddFieldRow(g, row++, NewLabel(info, "LabelFirmware", QStringLiteral("Firmware")),
                    NewTextEdit(info, "EditFirmware", 18, true));
        AddFieldRow(g, row++, NewLabel(info, "LabelConfTableID", QStringLiteral("Cnfg.-ID")),
                    NewTextEdit(info, "EditConfTableID", 18, true));
        AddFieldRow(g, row++, NewLabel(info, "LabelSensor", QStringLiteral("- Fühler")),
                    NewTextEdit(info, "EditSensor", 18, true));
        AddFieldRow(g, row++, NewLabel(info, "LabelAntrieb", QStringLiteral("- Antrieb")),
                    NewTextEdit(info, "EditAntrieb", 18, true));
        AddFieldRow(g, row++, NewLabel(info, "LabelFunktion", QStringLiteral("- Funktion")),
                    NewTextEdit(info, "EditFunktion", 18, true));
        // The selected sensor type's caption heads the sensor-dependent values below it.
        g->addWidget(NewLabel(info, "LabelSensorTyp", QString()), row++, 0, 1, 3);
        AddFieldRow(g, row++, NewLabel(info, "LabelHoehe", QString()),
                    NewTextEdit(info, "EditHoeheAnz", 18, true),
                    NewDimLabel(info, "LabelHoeheAnzDim", QString(), {QStringLiteral("kg/m³")}));
        AddFieldRow(g, row++, NewLabel(info, "LabelDichte", QString()),
                    NewTextEdit(info, "EditDichte", 18, true),
                    NewDimLabel(info, "LabelDichteDim", QString()));
        // Under its field: the ambient conditions that the density comes from.
        g->addWidget(NewButton(info, "ButtonCalculateDichte", QString()), row++, 1,
                     Qt::AlignLeft);
        AddFieldRow(g, row++, NewLabel(info, "LabelLeitwert", QString()),
                    NewTextEdit(info, "EditLeitwert", 18, true));
        g->setColumnStretch(1, 1);
        g->setRowStretch(row, 1);
    }

    grid->addWidget(ansteuerung, 0, 0);
    grid->addWidget(info, 0, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);
    return page;
}

// ---------------------------------------------------------------------------------------------
// Service

namespace {

// Fixed widths shared by the rows of "Einstellungen", which sit in two containers.
struct EinstellungenColumns {
    int caption = 0;
    int unitDim = 0;
    int percentDim = 0;
    int range = 0;
};

EinstellungenColumns MeasureEinstellungen(const QWidget* w)
{
    EinstellungenColumns c;
    c.caption = TextWidth(w, {QStringLiteral("V'nom"), QStringLiteral("V'max"), QStringLiteral("V'mid"),
                              QStringLiteral("V'min"), QStringLiteral("P'nom"), QStringLiteral("P'max"),
                              QStringLiteral("P'min"), QStringLiteral("Position")}) + 6;
    c.unitDim = TextWidth(w, AllUnits()) + 4;
    c.percentDim = TextWidth(w, {QStringLiteral("% von V'nom"), QStringLiteral("% von V'max"),
                                 QStringLiteral("% von P'nom")}) + 4;
    // Room for the lowest reachable V'min written into the range hint, e.g. "Bereich 100 .. 33.33%".
    c.range = TextWidth(w, {QStringLiteral("Bereich 100 .. 33.33%"), QStringLiteral("Bereich 30..100%")}) + 4;
    return c;
}

// caption | units field | unit | percent field | percent unit | range hint
QHBoxLayout* FlowRow(QWidget* parent, const EinstellungenColumns& cols, const char* caption,
                     const QString& captionText, const char* unitsEdit, const char* unitsDim,
                     const char* percentEdit, const char* percentDim, const QString& percentDimText,
                     const char* range, const QString& rangeText, bool unitsReadOnly = false)
{
    QHBoxLayout* row = NewRow();
    QLabel* label = NewLabel(parent, caption, captionText);
    FixWidth(label, cols.caption);
    row->addWidget(label);
    row->addWidget(NewNumberEdit(parent, unitsEdit, kUnitsChars, unitsReadOnly));
    QLabel* dim = NewDimLabel(parent, unitsDim, QString(), AllUnits());
    FixWidth(dim, cols.unitDim);
    row->addWidget(dim);
    if (percentEdit) {
        row->addSpacing(kSpacing);
        row->addWidget(NewNumberEdit(parent, percentEdit, kPercentChars));
        QLabel* pdim = NewDimLabel(parent, percentDim, percentDimText);
        FixWidth(pdim, cols.percentDim);
        row->addWidget(pdim);
    }
    if (range) {
        QLabel* r = NewLabel(parent, range, rangeText);
        r->setMinimumWidth(cols.range);
        row->addWidget(r);
    }
    row->addStretch(1);
    return row;
}

QVBoxLayout* SliderColumn(QWidget* parent, const char* captionName, const QString& caption,
                          const char* sliderName)
{
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    QLabel* label = NewLabel(parent, captionName, caption);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    column->addWidget(label);
    QSlider* slider = NewTrackBar(parent, sliderName);
    column->addWidget(slider, 1, Qt::AlignHCenter);
    return column;
}

} // namespace

QWidget* BuildTabService(QWidget* parent)
{
    QWidget* page = NewPage(parent, "TabSheetService");
    QGridLayout* grid = NewPageGrid(page);

    QGroupBox* einst = NewGroup(page, "GroupBoxEinstellungen", QStringLiteral("Einstellungen"));
    {
        const EinstellungenColumns cols = MeasureEinstellungen(einst);
        auto* outer = new QHBoxLayout(einst);
        outer->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
        outer->setSpacing(12);
        auto* rows = new QVBoxLayout;
        rows->setSpacing(kSpacing);

        rows->addLayout(FlowRow(einst, cols, "LabelVnomM3Anz", QString(), "EditVnomM3Anz",
                                "LabelVnomM3AnzDim", nullptr, nullptr, {}, nullptr, {}, true));
        rows->addLayout(FlowRow(einst, cols, "LabelVmax", QString(), "EditVmaxM3", "LabelVmaxM3Dim",
                                "EditVmaxPrz", "LabelVmaxPrzDim", QString(),
                                "LabelVmaxPrzBereich", QStringLiteral("Bereich 30..100%")));
        // V'mid exists only in the volume-flow application; its panel is hidden otherwise.
        QFrame* vmid = NewContainerPanel(einst, "PanelVmid");
        {
            QHBoxLayout* row = FlowRow(vmid, cols, "LabelVmidM3", QStringLiteral("V'mid"), "EditVmidM3",
                                       "LabelVmidM3Dim", "EditVmidPrz", "LabelVmidPrzDim", QStringLiteral("%"),
                                       "LabelVmidPrz", QString());
            vmid->setLayout(row);
        }
        rows->addWidget(vmid);
        rows->addLayout(FlowRow(einst, cols, "LabelVmin", QString(), "EditVminM3", "LabelVminM3Dim",
                                "EditVminPrz", "LabelVminPrzDim", QString(),
                                "LabelVminPrzBereich", QString()));
        {
            QHBoxLayout* row = NewRow();
            QLabel* label = NewLabel(einst, "LabelPositionInput", QStringLiteral("Position"));
            FixWidth(label, cols.caption);
            row->addWidget(label);
            row->addWidget(NewTextEdit(einst, "EditPositionInput", kTextChars));
            row->addStretch(1);
            rows->addLayout(row);
        }
        rows->addStretch(1);
        outer->addLayout(rows);
        outer->addSpacing(12);
        outer->addLayout(SliderColumn(einst, "LabelTrackBarVMax", QStringLiteral("V'max"), "TrackBarVMax"));
        outer->addLayout(SliderColumn(einst, "LabelTrackBarVMin", QStringLiteral("V'min"), "TrackBarVMin"));
        outer->addStretch(1);
    }

    QGroupBox* betrieb = NewGroup(page, "GroupBoxBetrieb", QString());
    {
        QVBoxLayout* box = NewGroupColumn(betrieb);
        QButtonGroup* buttons = NewButtonGroup(page, "ButtonGroupBetrieb");
        auto* choices = new QGridLayout;
        choices->setHorizontalSpacing(kSpacing);
        choices->setVerticalSpacing(4);
        // Overrides of the damper in the first row, the fixed stages and the setpoint in the second.
        choices->addWidget(NewRadio(betrieb, "RadioBetrAuto", QString(), buttons, true), 0, 0);
        choices->addWidget(NewRadio(betrieb, "RadioBetrZu", QString(), buttons), 0, 1);
        choices->addWidget(NewRadio(betrieb, "RadioBetrAuf", QString(), buttons), 0, 2);
        choices->addWidget(NewRadio(betrieb, "RadioBetrSchnellZu", QString(), buttons), 0, 3);
        choices->addWidget(NewRadio(betrieb, "RadioBetrSchnellAuf", QString(), buttons), 0, 4);
        choices->addWidget(NewRadio(betrieb, "RadioBetrVMin", QString(), buttons), 1, 0);
        choices->addWidget(NewRadio(betrieb, "RadioBetrVMid", QString(), buttons), 1, 1);
        choices->addWidget(NewRadio(betrieb, "RadioBetrVMax", QString(), buttons), 1, 2);
        choices->addWidget(NewRadio(betrieb, "RadioBetrVNom", QString(), buttons), 1, 3);
        choices->addWidget(NewRadio(betrieb, "RadioBetrVariabel", QString(), buttons), 1, 4);
        choices->setColumnStretch(5, 1);
        box->addLayout(choices);

        auto* line = new QFrame(betrieb);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        box->addWidget(line);

        auto* values = new QGridLayout;
        values->setHorizontalSpacing(kSpacing);
        values->setVerticalSpacing(kSpacing);
        const QStringList percent = {QStringLiteral("%")};
        int row = 0;
        values->addWidget(NewLabel(betrieb, "LabelBetrSollw", QString()), row, 0);
        // Editable only in "Variabel"; the operation panel switches this.
        values->addWidget(NewNumberEdit(betrieb, "EditBetrSollwPrz", kPercentChars, true), row, 1);
        values->addWidget(NewDimLabel(betrieb, "LabelBetrSollwPrzDim", QString()), row, 2);
        values->addWidget(NewNumberEdit(betrieb, "EditBetrSollwM3", kUnitsChars, true), row, 3);
        values->addWidget(NewDimLabel(betrieb, "LabelBetrSollwM3Dim", QString(), AllUnits()), row, 4);
        ++row;
        values->addWidget(NewLabel(betrieb, "LabelBetrIstw", QString()), row, 0);
        values->addWidget(NewNumberEdit(betrieb, "EditBetrIstwPrz", kPercentChars, true), row, 1);
        values->addWidget(NewDimLabel(betrieb, "LabelBetrIstwPrzDim", QString()), row, 2);
        values->addWidget(NewNumberEdit(betrieb, "EditBetrIstwM3", kUnitsChars, true), row, 3);
        values->addWidget(NewDimLabel(betrieb, "LabelBetrIstwM3Dim", QString(), AllUnits()), row, 4);
        ++row;
        values->addWidget(NewLabel(betrieb, "LabelBetrRSign", QString()), row, 0);
        values->addWidget(NewNumberEdit(betrieb, "EditBetrRYSignPrz", kPercentChars, true), row, 1);
        values->addWidget(NewDimLabel(betrieb, "LabelBetrRSignPrzDim", QString()), row, 2);
        ++row;
        values->addWidget(NewLabel(betrieb, "LabelBetrMotRueck", QString()), row, 0);
        values->addWidget(NewNumberEdit(betrieb, "EditBetrMotRueckPrz", kPercentChars, true), row, 1);
        values->addWidget(NewDimLabel(betrieb, "LabelBetrMotRueckPrzDim", QString()), row, 2);
        // The percent signs come from the model; keep their room, the plot beside may not take it.
        values->setColumnMinimumWidth(2, TextWidth(betrieb, {QStringLiteral("%")}) + 4);
        // Beside the values: the same values over the last minutes (the controller attaches it).
        auto* valuesAndPlot = new QHBoxLayout;
        valuesAndPlot->setSpacing(kSpacing);
        auto* valuesColumn = new QVBoxLayout;
        valuesColumn->addLayout(values);
        valuesColumn->addStretch(1);
        valuesAndPlot->addLayout(valuesColumn);
        valuesAndPlot->addWidget(new LivePlot(betrieb), 1);
        box->addLayout(valuesAndPlot, 1);
    }

    // Live signals and alarms; the group has no caption of its own.
    QGroupBox* signale = NewGroup(page, "GroupBoxParameter", QString());
    {
        QGridLayout* g = NewGrid(signale);
        int row = 0;
        AddFieldRow(g, row++, NewLabel(signale, "LabelSignW1", QString()),
                    NewNumberEdit(signale, "EditSignW1", 5, true),
                    NewDimLabel(signale, "LabelSignW1Dim", QString(), AllUnits()));
        AddFieldRow(g, row++, NewLabel(signale, "LabelSignU5", QString()),
                    NewNumberEdit(signale, "EditSignU5", 5, true),
                    NewDimLabel(signale, "LabelSignU5Dim", QString(), AllUnits()));
        AddFieldRow(g, row++, NewLabel(signale, "LabelSensorSign", QString()),
                    NewNumberEdit(signale, "EditSensorSign", 5, true),
                    NewDimLabel(signale, "LabelSensorSignDim", QString(), AllUnits()));
        AddFieldRow(g, row++, NewLabel(signale, "LabelSensorValue", QString()),
                    NewNumberEdit(signale, "EditSensorValue", 7, true),
                    NewDimLabel(signale, "LabelSensorValueDim", QString(), AllUnits()));
        g->addWidget(NewLabel(signale, "LabelAlarm", QString()), row, 0);
        g->addWidget(NewButton(signale, "ButtonResetAlarm", QString()), row++, 1, 1, 2);
        auto* alarms = new QListWidget(signale);
        alarms->setObjectName(QStringLiteral("ListBoxAlarme"));
        alarms->setSelectionMode(QAbstractItemView::ExtendedSelection);
        alarms->setMinimumHeight(48);
        g->addWidget(alarms, row, 0, 1, 3);
        g->setRowStretch(row, 1);
    }

    grid->addWidget(einst, 0, 0, 1, 2);
    grid->addWidget(betrieb, 1, 0);
    // Without a caption the frame would start above its titled neighbour's frame.
    auto* signalColumn = new QVBoxLayout;
    signalColumn->setContentsMargins(0, 0, 0, 0);
    signalColumn->addSpacing(TitleHeight(betrieb));
    signalColumn->addWidget(signale, 1);
    grid->addLayout(signalColumn, 1, 1);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(1, 1);
    return page;
}

// ---------------------------------------------------------------------------------------------
// QV

QWidget* BuildTabKonfigQV(QWidget* parent)
{
    QWidget* page = NewPage(parent, "TabSheetKonfigQV");
    QGridLayout* grid = NewPageGrid(page);

    QGroupBox* sernr = NewGroup(page, "GroupBoxSerNr", QStringLiteral("Seriennummer"));
    {
        QGridLayout* g = NewGrid(sernr);
        g->setHorizontalSpacing(10);
        // Row by row, so that Tab follows the order of the serial number text.
        AddFieldRow(g, 0, NewLabel(sernr, "LabelSnrJahr", QStringLiteral("Jahr")),
                    NewSpin(sernr, "SpinEditSnrJahr", 0, 99));
        AddFieldRow(g, 0, NewLabel(sernr, "LabelSnrWoche", QStringLiteral("Woche")),
                    NewSpin(sernr, "SpinEditSnrWoche", 1, 52), nullptr, 2);
        g->addWidget(NewLabel(sernr, "LabelSnrTag", QStringLiteral("Tag")), 1, 0);
        g->addWidget(NewCombo(sernr, "ComboBoxSnrTag",
                              {QStringLiteral("Mo"), QStringLiteral("Di"), QStringLiteral("Mi"), QStringLiteral("Do"),
                               QStringLiteral("Fr"), QStringLiteral("Sa"), QStringLiteral("So")}),
                     1, 1);
        AddFieldRow(g, 1, NewLabel(sernr, "LabelNummer", QStringLiteral("Nummer")),
                    NewSpin(sernr, "SpinEditSnrNum", 1, 5535), nullptr, 2);
        QSpinBox* devFam = NewSpin(sernr, "SpinEditSnrDevFam", 1, 255);
        devFam->setEnabled(false); // taken from the tool settings when writing
        AddFieldRow(g, 2, NewLabel(sernr, "LabelSnrDevFam", QStringLiteral("Dev.Fam.")), devFam);
        AddFieldRow(g, 2, NewLabel(sernr, "LabelSnrTestStation", QStringLiteral("Teststation")),
                    NewSpin(sernr, "SpinEditSnrTestStation", 1, 255), nullptr, 2);
        QSpinBox* suffix = NewSpin(sernr, "SpinEditSnrSuffix", 0, 255);
        suffix->setEnabled(false); // taken from the tool settings when writing
        AddFieldRow(g, 3, NewLabel(sernr, "LabelSnrSuffix", QStringLiteral("Fam.Suff")), suffix);
        g->addWidget(NewLabel(sernr, "LabelSerienNr", QStringLiteral("Serien-Nr.")), 4, 0);
        g->addWidget(NewTextEdit(sernr, "EditSerNrInput", 19), 4, 1, 1, 3);
        EqualizeWidths({sernr->findChild<QWidget*>(QStringLiteral("SpinEditSnrJahr")),
                        sernr->findChild<QWidget*>(QStringLiteral("SpinEditSnrWoche")),
                        sernr->findChild<QWidget*>(QStringLiteral("ComboBoxSnrTag")),
                        sernr->findChild<QWidget*>(QStringLiteral("SpinEditSnrNum")),
                        sernr->findChild<QWidget*>(QStringLiteral("SpinEditSnrDevFam")),
                        sernr->findChild<QWidget*>(QStringLiteral("SpinEditSnrTestStation")),
                        sernr->findChild<QWidget*>(QStringLiteral("SpinEditSnrSuffix"))});
        g->setColumnStretch(4, 1);
        g->setRowStretch(5, 1);
    }

    QGroupBox* params = NewGroup(page, "GroupBoxVAVParameter", QStringLiteral("Parameter"));
    {
        QGridLayout* g = NewGrid(params);
        AddFieldRow(g, 0, NewLabel(params, "LabelVAVK", QStringLiteral("K")),
                    NewNumberEdit(params, "EditVAVK", 9));
        AddFieldRow(g, 1, NewLabel(params, "LabelVAVTn", QStringLiteral("Tn")),
                    NewSpin(params, "SpinEditVAVTn", 0, 32767),
                    NewDimLabel(params, "LabelVAVTnDim", QStringLiteral("ms")));
        AddFieldRow(g, 2, NewLabel(params, "LabelVAVTv", QStringLiteral("Tv")),
                    NewSpin(params, "SpinEditVAVTv", 0, 32767),
                    NewDimLabel(params, "LabelVAVTvDim", QStringLiteral("ms")));
        AddFieldRow(g, 3, NewLabel(params, "LabelVAVT1", QStringLiteral("T1")),
                    NewSpin(params, "SpinEditVAVT1", 0, 32767),
                    NewDimLabel(params, "LabelVAVT1Dim", QStringLiteral("ms")));
        g->addWidget(NewCheckBox(params, "CheckBoxVAVAdaptiv", QString()), 4, 1, 1, 2);
        EqualizeWidths({params->findChild<QWidget*>(QStringLiteral("EditVAVK")),
                        params->findChild<QWidget*>(QStringLiteral("SpinEditVAVTn")),
                        params->findChild<QWidget*>(QStringLiteral("SpinEditVAVTv")),
                        params->findChild<QWidget*>(QStringLiteral("SpinEditVAVT1"))});
        g->setColumnStretch(3, 1);
        g->setRowStretch(5, 1);
    }

    QGroupBox* sensor = NewGroup(page, "GroupBoxVAVSensorAuswIE", QStringLiteral("Sensorauswahl"));
    {
        QButtonGroup* buttons = NewButtonGroup(page, "ButtonGroupSensorIE");
        QVBoxLayout* box = NewGroupColumn(sensor);
        box->addWidget(NewRadio(sensor, "RadioButtonVAVSensorIntern", QString(), buttons));
        box->addWidget(NewRadio(sensor, "RadioButtonVAVSensorExtern", QString(), buttons, true));
        box->addStretch(1);
    }

    grid->addWidget(sernr, 0, 0, 2, 1);
    grid->addWidget(params, 0, 1);
    grid->addWidget(sensor, 1, 1);
    grid->addWidget(NewLabel(page, "LabelQVHinweis", QString()), 2, 0, 1, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setRowStretch(3, 1);
    return page;
}

// ---------------------------------------------------------------------------------------------
// Transfer

QWidget* BuildTabTransfer(QWidget* parent)
{
    QWidget* page = NewPage(parent, "TabSheetTransfer");
    auto* box = new QVBoxLayout(page);
    box->setContentsMargins(9, 9, 9, 9);
    box->setSpacing(kSpacing);

    auto* memo = new QPlainTextEdit(page);
    memo->setObjectName(QStringLiteral("MemoCOMTransf"));
    memo->setReadOnly(true);
    // Telegram bytes line up in columns only in a fixed-pitch font.
    memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->addWidget(memo, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(NewButton(page, "ButtonClear", QString()));
    box->addLayout(buttons);
    return page;
}

} // namespace kadex::gui
