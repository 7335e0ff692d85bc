// Layout of the main window: every named control exists with its kind, caption and place,
// the tabs, menus, toolbar and status bar are as the behaviour expects them, and the window
// fits its designed size without clipped captions.
#include "device/model/WindowFields.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/ModelBinder.h"
#include "tools/screenshots/Screenshots.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using kadex::FieldId;
using kadex::Kind;
using kadex::ModelBinder;
using kadex::TMainForm;
using kadex::WindowModel;

namespace {

enum class K {
    Edit,       // QLineEdit
    Label,      // QLabel without frame
    Panel,      // QLabel with a sunken frame (status field)
    Frame,      // QFrame that only holds other controls
    Picture,    // QLabel showing a picture
    Radio,      // QRadioButton
    Check,      // QCheckBox
    Spin,       // QSpinBox
    Slider,     // vertical QSlider
    Group,      // QGroupBox
    Button,     // QPushButton
    Toggle,     // checkable QPushButton
    ToolButton, // QToolButton
    Memo,       // QPlainTextEdit
    List,       // QListWidget
    Combo,      // QComboBox
    Tab,        // a tab sheet of PageControl1; caption = tab text
};

// Controls with their place. Captions of declared fields come from the model (checked by
// LayoutAndFieldDeclarationAgree); the table names captions only of controls the field list
// does not hold yet.
struct Expected {
    const char* name;
    K kind;
    const char* caption; // nullptr: caption not checked here
    const char* within;  // object name of an ancestor
};

// clang-format off
const Expected kControls[] = {
    // identification pane
    {"ImageLogo", K::Picture, nullptr, "PanelIdent"},
    {"LabelTyp", K::Label, nullptr, "PanelIdent"},
    {"EditFenwix", K::Edit, nullptr, "PanelIdent"},
    {"LabelOEM", K::Label, nullptr, "PanelIdent"},
    {"EditOEM", K::Edit, nullptr, "PanelIdent"},
    {"LabelPosition", K::Label, nullptr, "PanelIdent"},
    {"EditPosition", K::Edit, nullptr, "PanelIdent"},
    {"LabelSerNr", K::Label, nullptr, "PanelIdent"},
    {"EditSerNr", K::Edit, nullptr, "PanelIdent"},
    {"LabelZBAdr", K::Label, nullptr, "PanelIdent"},
    {"EditZBAdr", K::Edit, nullptr, "PanelIdent"},
    // tab sheets
    {"TabSheetKonfigOEM", K::Tab, nullptr, "PageControl1"},
    {"TabSheetExperte", K::Tab, nullptr, "PageControl1"},
    {"TabSheetService", K::Tab, nullptr, "PageControl1"},
    {"TabSheetKonfigQV", K::Tab, nullptr, "PageControl1"},
    {"TabSheetTransfer", K::Tab, nullptr, "PageControl1"},
    // strip under the tabs
    {"ImageEqual", K::Picture, nullptr, "PanelVergleich"},
    {"ImageNotEqual", K::Picture, nullptr, "PanelVergleich"},
    {"PanelSecOnline", K::Panel, nullptr, "PanelButtons"},
    {"ButtonLesen", K::Button, nullptr, "PanelButtons"},
    {"ButtonSetzen", K::Button, nullptr, "PanelButtons"},
    {"PanelBetrieb", K::Frame, nullptr, "PanelButtons"},
    {"SpeedButtonBetrieb", K::Toggle, nullptr, "PanelBetrieb"},
    {"PanelTest", K::Frame, nullptr, "PanelButtons"},
    {"ButtonTest", K::Button, nullptr, "PanelTest"},
    {"ButtonDefaultLaden", K::Button, nullptr, "PanelTest"},
    {"PanelProgStatus", K::Panel, nullptr, "PanelButtons"},
    {"PanelBetrStatus", K::Panel, nullptr, "PanelButtons"},
    // status bar and toolbar
    {"StatusBarCom", K::Panel, "", "StatusBar1"},
    {"StatusBarFunktion", K::Panel, "", "StatusBar1"},
    {"StatusBarMessage", K::Panel, "", "StatusBar1"},
    {"ToolButtonDateiMenu", K::ToolButton, nullptr, "ToolBarMain"},
    {"ToolButtonExtrasMenu", K::ToolButton, nullptr, "ToolBarMain"},
    {"ToolButtonHilfeMenu", K::ToolButton, nullptr, "ToolBarMain"},
    {"ComboBoxZBAdress", K::Combo, nullptr, "ToolBarMain"},
    {"ToolButtonOeffnen", K::ToolButton, nullptr, "ToolBarMain"},
    {"ToolButtonSpeichern", K::ToolButton, nullptr, "ToolBarMain"},
    {"ToolButtonDrucken", K::ToolButton, nullptr, "ToolBarMain"},
    {"ToolButtonRegFkt", K::ToolButton, nullptr, "ToolBarMain"},
    // OEM (Kalibrierung)
    {"GroupBoxVAVSensorTyp", K::Group, "Fühlertyp", "TabSheetKonfigOEM"},
    {"RadioButtonSensTypDruck", K::Radio, nullptr, "GroupBoxVAVSensorTyp"},
    {"RadioButtonSensTypVolumenstr", K::Radio, nullptr, "GroupBoxVAVSensorTyp"},
    {"RadioButtonSensTypDSK3Druck", K::Radio, nullptr, "GroupBoxVAVSensorTyp"},
    {"GroupBoxVAVSensorAusw", K::Group, "Fühler", "TabSheetKonfigOEM"},
    {"RadioButtonDPK100", K::Radio, "DPK-100", "GroupBoxVAVSensorAusw"},
    {"RadioButtonDPK300", K::Radio, "DPK-300", "GroupBoxVAVSensorAusw"},
    {"RadioButtonDPK600", K::Radio, "DPK-600", "GroupBoxVAVSensorAusw"},
    {"RadioButtonDPKVariabel", K::Radio, "variabel", "GroupBoxVAVSensorAusw"},
    {"GroupBoxAntrieb", K::Group, "Antrieb", "TabSheetKonfigOEM"},
    {"RadioButtonAntr_HFX_ST", K::Radio, "Schnellläufer (..-HFX)", "GroupBoxAntrieb"},
    {"RadioButtonAntr_RGT", K::Radio, "Standard (..-RGT)", "GroupBoxAntrieb"},
    {"RadioButtonAntr_Variabel", K::Radio, "variabel", "GroupBoxAntrieb"},
    {"GroupBoxVAVVolumenStrom", K::Group, "Volumenstrom", "TabSheetKonfigOEM"},
    {"LabelVnomM3", K::Label, "V'nom", "GroupBoxVAVVolumenStrom"},
    {"EditVnomM3", K::Edit, nullptr, "GroupBoxVAVVolumenStrom"},
    {"LabelVnomM3Dim", K::Label, "m³/h", "GroupBoxVAVVolumenStrom"},
    {"LabelVmaxM3", K::Label, "V'max", "GroupBoxVAVVolumenStrom"},
    {"EditVmaxM3_OEM", K::Edit, nullptr, "GroupBoxVAVVolumenStrom"},
    {"LabelVmaxM3_OEMDim", K::Label, "m³/h", "GroupBoxVAVVolumenStrom"},
    {"LabelVminM3", K::Label, "V'min", "GroupBoxVAVVolumenStrom"},
    {"EditVminM3_OEM", K::Edit, nullptr, "GroupBoxVAVVolumenStrom"},
    {"LabelVminM3_OEMDim", K::Label, "m³/h", "GroupBoxVAVVolumenStrom"},
    {"GroupBoxVAVLeitwert", K::Group, nullptr, "TabSheetKonfigOEM"},
    {"LabelVAVLwAktiv", K::Label, "aktiv", "GroupBoxVAVLeitwert"},
    {"EditVAVLwAktiv", K::Edit, nullptr, "GroupBoxVAVLeitwert"},
    {"LabelVAVLwErmittelt", K::Label, "ermittelt", "GroupBoxVAVLeitwert"},
    {"EditVAVLwErmittelt", K::Edit, nullptr, "GroupBoxVAVLeitwert"},
    {"ButtonCalculateLW", K::Button, nullptr, "GroupBoxVAVLeitwert"},
    {"GroupBoxMode_OEM", K::Group, "Mode", "TabSheetKonfigOEM"},
    {"RadioButtonMode_W1_2_10V_OEM", K::Radio, "2 .. 10 V", "GroupBoxMode_OEM"},
    {"RadioButtonMode_W1_0_10V_OEM", K::Radio, "0 .. 10 V", "GroupBoxMode_OEM"},
    {"RadioButtonMode_W1_OEM", K::Radio, "", "GroupBoxMode_OEM"},
    {"GroupBoxIdentStrings", K::Group, "Identifikation-Strings", "TabSheetKonfigOEM"},
    {"LabelPositionInput_OEM", K::Label, "Position", "GroupBoxIdentStrings"},
    {"EditPositionInput_OEM", K::Edit, nullptr, "GroupBoxIdentStrings"},
    {"LabelOEMInput_OEM", K::Label, "OEM", "GroupBoxIdentStrings"},
    {"RadioButtonOEMInputOEM", K::Radio, nullptr, "GroupBoxIdentStrings"},
    {"EditOEMInputOEM", K::Edit, nullptr, "GroupBoxIdentStrings"},
    {"RadioButtonOEMInputAnzeige", K::Radio, nullptr, "GroupBoxIdentStrings"},
    {"EditOEMInputOptAnzeige", K::Edit, nullptr, "GroupBoxIdentStrings"},
    {"LabelOEMHinweisVS", K::Label, nullptr, "TabSheetKonfigOEM"},
    // Experte
    {"GroupBoxAnsteuerung", K::Group, "Ansteuerung", "TabSheetExperte"},
    {"LabelW1", K::Label, "Führungssignal [w]", "GroupBoxAnsteuerung"},
    {"LabelW1Min", K::Label, "Start", "GroupBoxAnsteuerung"},
    {"EditW1Min", K::Edit, nullptr, "GroupBoxAnsteuerung"},
    {"LabelW1MinDim", K::Label, "V", "GroupBoxAnsteuerung"},
    {"LabelW1Max", K::Label, "Stopp", "GroupBoxAnsteuerung"},
    {"EditW1Max", K::Edit, nullptr, "GroupBoxAnsteuerung"},
    {"LabelW1MaxDim", K::Label, "V", "GroupBoxAnsteuerung"},
    {"LabelU5", K::Label, "Istwertsignal [U5]", "GroupBoxAnsteuerung"},
    {"LabelU5Min", K::Label, "Start", "GroupBoxAnsteuerung"},
    {"EditU5Min", K::Edit, nullptr, "GroupBoxAnsteuerung"},
    {"LabelU5MinDim", K::Label, "V", "GroupBoxAnsteuerung"},
    {"LabelU5Max", K::Label, "Stopp", "GroupBoxAnsteuerung"},
    {"EditU5Max", K::Edit, nullptr, "GroupBoxAnsteuerung"},
    {"LabelU5MaxDim", K::Label, "V", "GroupBoxAnsteuerung"},
    {"GroupBoxMode", K::Group, "Mode", "GroupBoxAnsteuerung"},
    {"RadioButtonMode_W1_2_10V", K::Radio, "2 .. 10 V", "GroupBoxMode"},
    {"RadioButtonMode_W1_0_10V", K::Radio, "0 .. 10 V", "GroupBoxMode"},
    {"RadioButtonMode_W1", K::Radio, "", "GroupBoxMode"},
    {"LabelAnsteuerung", K::Label, "Hinweis:", "GroupBoxAnsteuerung"},
    {"LabelAnsteuerung1", K::Label, "Der Stoppunkt muss mindestens 2V über dem Startpunkt liegen.", "GroupBoxAnsteuerung"},
    {"LabelAnsteuerung2", K::Label, "Einstellbereich w: 0 .. 10 V,   U5: 0 .. 10 V", "GroupBoxAnsteuerung"},
    {"GroupBoxSystemInfo", K::Group, "Kadex System-Information", "TabSheetExperte"},
    {"LabelFirmware", K::Label, "Firmware", "GroupBoxSystemInfo"},
    {"EditFirmware", K::Edit, nullptr, "GroupBoxSystemInfo"},
    {"LabelConfTableID", K::Label, "Cnfg.-ID", "GroupBoxSystemInfo"},
    {"EditConfTableID", K::Edit, nullptr, "GroupBoxSystemInfo"},
    {"LabelSensor", K::Label, "- Fühler", "GroupBoxSystemInfo"},
    {"EditSensor", K::Edit, nullptr, "GroupBoxSystemInfo"},
    {"LabelAntrieb", K::Label, "- Antrieb", "GroupBoxSystemInfo"},
    {"EditAntrieb", K::Edit, nullptr, "GroupBoxSystemInfo"},
    {"LabelFunktion", K::Label, "- Funktion", "GroupBoxSystemInfo"},
    {"EditFunktion", K::Edit, nullptr, "GroupBoxSystemInfo"},
    {"LabelSensorTyp", K::Label, nullptr, "GroupBoxSystemInfo"},
    {"LabelHoehe", K::Label, nullptr, "GroupBoxSystemInfo"},
    {"EditHoeheAnz", K::Edit, nullptr, "GroupBoxSystemInfo"},
    {"LabelHoeheAnzDim", K::Label, nullptr, "GroupBoxSystemInfo"},
    {"LabelDichte", K::Label, nullptr, "GroupBoxSystemInfo"},
    {"EditDichte", K::Edit, nullptr, "GroupBoxSystemInfo"},
    {"LabelDichteDim", K::Label, nullptr, "GroupBoxSystemInfo"},
    {"ButtonCalculateDichte", K::Button, nullptr, "GroupBoxSystemInfo"},
    {"LabelLeitwert", K::Label, nullptr, "GroupBoxSystemInfo"},
    {"EditLeitwert", K::Edit, nullptr, "GroupBoxSystemInfo"},
    // Service
    {"GroupBoxEinstellungen", K::Group, "Einstellungen", "TabSheetService"},
    {"LabelVnomM3Anz", K::Label, "V'nom", "GroupBoxEinstellungen"},
    {"EditVnomM3Anz", K::Edit, nullptr, "GroupBoxEinstellungen"},
    {"LabelVnomM3AnzDim", K::Label, "m³/h", "GroupBoxEinstellungen"},
    {"LabelVmax", K::Label, "V'max", "GroupBoxEinstellungen"},
    {"EditVmaxM3", K::Edit, nullptr, "GroupBoxEinstellungen"},
    {"LabelVmaxM3Dim", K::Label, "m³/h", "GroupBoxEinstellungen"},
    {"EditVmaxPrz", K::Edit, nullptr, "GroupBoxEinstellungen"},
    {"LabelVmaxPrzDim", K::Label, "% von V'nom", "GroupBoxEinstellungen"},
    {"LabelVmaxPrzBereich", K::Label, "Bereich 30..100%", "GroupBoxEinstellungen"},
    {"PanelVmid", K::Frame, nullptr, "GroupBoxEinstellungen"},
    {"LabelVmidM3", K::Label, "V'mid", "PanelVmid"},
    {"EditVmidM3", K::Edit, nullptr, "PanelVmid"},
    {"LabelVmidM3Dim", K::Label, "m³/h", "PanelVmid"},
    {"EditVmidPrz", K::Edit, nullptr, "PanelVmid"},
    {"LabelVmidPrzDim", K::Label, "%", "PanelVmid"},
    {"LabelVmidPrz", K::Label, "", "PanelVmid"},
    {"LabelVmin", K::Label, "V'min", "GroupBoxEinstellungen"},
    {"EditVminM3", K::Edit, nullptr, "GroupBoxEinstellungen"},
    {"LabelVminM3Dim", K::Label, "m³/h", "GroupBoxEinstellungen"},
    {"EditVminPrz", K::Edit, nullptr, "GroupBoxEinstellungen"},
    {"LabelVminPrzDim", K::Label, "% von V'max", "GroupBoxEinstellungen"},
    {"LabelVminPrzBereich", K::Label, "Bereich 0..100%", "GroupBoxEinstellungen"},
    {"LabelPositionInput", K::Label, "Position", "GroupBoxEinstellungen"},
    {"EditPositionInput", K::Edit, nullptr, "GroupBoxEinstellungen"},
    {"LabelTrackBarVMax", K::Label, "V'max", "GroupBoxEinstellungen"},
    {"TrackBarVMax", K::Slider, nullptr, "GroupBoxEinstellungen"},
    {"LabelTrackBarVMin", K::Label, "V'min", "GroupBoxEinstellungen"},
    {"TrackBarVMin", K::Slider, nullptr, "GroupBoxEinstellungen"},
    {"GroupBoxBetrieb", K::Group, nullptr, "TabSheetService"},
    {"RadioBetrAuto", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"RadioBetrZu", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"RadioBetrAuf", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"RadioBetrSchnellZu", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"RadioBetrSchnellAuf", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"RadioBetrVMin", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"RadioBetrVMid", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"RadioBetrVMax", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"RadioBetrVNom", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"RadioBetrVariabel", K::Radio, nullptr, "GroupBoxBetrieb"},
    {"LabelBetrSollw", K::Label, nullptr, "GroupBoxBetrieb"},
    {"EditBetrSollwPrz", K::Edit, nullptr, "GroupBoxBetrieb"},
    {"LabelBetrSollwPrzDim", K::Label, nullptr, "GroupBoxBetrieb"},
    {"EditBetrSollwM3", K::Edit, nullptr, "GroupBoxBetrieb"},
    {"LabelBetrSollwM3Dim", K::Label, "m³/h", "GroupBoxBetrieb"},
    {"LabelBetrIstw", K::Label, nullptr, "GroupBoxBetrieb"},
    {"EditBetrIstwPrz", K::Edit, nullptr, "GroupBoxBetrieb"},
    {"LabelBetrIstwPrzDim", K::Label, nullptr, "GroupBoxBetrieb"},
    {"EditBetrIstwM3", K::Edit, nullptr, "GroupBoxBetrieb"},
    {"LabelBetrIstwM3Dim", K::Label, "m³/h", "GroupBoxBetrieb"},
    {"LabelBetrRSign", K::Label, nullptr, "GroupBoxBetrieb"},
    {"EditBetrRYSignPrz", K::Edit, nullptr, "GroupBoxBetrieb"},
    {"LabelBetrRSignPrzDim", K::Label, nullptr, "GroupBoxBetrieb"},
    {"LabelBetrMotRueck", K::Label, nullptr, "GroupBoxBetrieb"},
    {"EditBetrMotRueckPrz", K::Edit, nullptr, "GroupBoxBetrieb"},
    {"LabelBetrMotRueckPrzDim", K::Label, nullptr, "GroupBoxBetrieb"},
    {"GroupBoxParameter", K::Group, nullptr, "TabSheetService"},
    {"LabelSignW1", K::Label, nullptr, "GroupBoxParameter"},
    {"EditSignW1", K::Edit, nullptr, "GroupBoxParameter"},
    {"LabelSignW1Dim", K::Label, nullptr, "GroupBoxParameter"},
    {"LabelSignU5", K::Label, nullptr, "GroupBoxParameter"},
    {"EditSignU5", K::Edit, nullptr, "GroupBoxParameter"},
    {"LabelSignU5Dim", K::Label, nullptr, "GroupBoxParameter"},
    {"LabelSensorSign", K::Label, nullptr, "GroupBoxParameter"},
    {"EditSensorSign", K::Edit, nullptr, "GroupBoxParameter"},
    {"LabelSensorSignDim", K::Label, nullptr, "GroupBoxParameter"},
    {"LabelSensorValue", K::Label, nullptr, "GroupBoxParameter"},
    {"EditSensorValue", K::Edit, nullptr, "GroupBoxParameter"},
    {"LabelSensorValueDim", K::Label, nullptr, "GroupBoxParameter"},
    {"LabelAlarm", K::Label, nullptr, "GroupBoxParameter"},
    {"ListBoxAlarme", K::List, nullptr, "GroupBoxParameter"},
    {"ButtonResetAlarm", K::Button, nullptr, "GroupBoxParameter"},
    // QV
    {"GroupBoxSerNr", K::Group, "Seriennummer", "TabSheetKonfigQV"},
    {"LabelSnrJahr", K::Label, "Jahr", "GroupBoxSerNr"},
    {"SpinEditSnrJahr", K::Spin, nullptr, "GroupBoxSerNr"},
    {"LabelSnrWoche", K::Label, "Woche", "GroupBoxSerNr"},
    {"SpinEditSnrWoche", K::Spin, nullptr, "GroupBoxSerNr"},
    {"LabelSnrTag", K::Label, "Tag", "GroupBoxSerNr"},
    {"ComboBoxSnrTag", K::Combo, nullptr, "GroupBoxSerNr"},
    {"LabelNummer", K::Label, "Nummer", "GroupBoxSerNr"},
    {"SpinEditSnrNum", K::Spin, nullptr, "GroupBoxSerNr"},
    {"LabelSnrDevFam", K::Label, "Dev.Fam.", "GroupBoxSerNr"},
    {"SpinEditSnrDevFam", K::Spin, nullptr, "GroupBoxSerNr"},
    {"LabelSnrTestStation", K::Label, "Teststation", "GroupBoxSerNr"},
    {"SpinEditSnrTestStation", K::Spin, nullptr, "GroupBoxSerNr"},
    {"LabelSnrSuffix", K::Label, "Fam.Suff", "GroupBoxSerNr"},
    {"SpinEditSnrSuffix", K::Spin, nullptr, "GroupBoxSerNr"},
    {"LabelSerienNr", K::Label, "Serien-Nr.", "GroupBoxSerNr"},
    {"EditSerNrInput", K::Edit, nullptr, "GroupBoxSerNr"},
    {"GroupBoxVAVSensorAuswIE", K::Group, "Sensorauswahl", "TabSheetKonfigQV"},
    {"RadioButtonVAVSensorIntern", K::Radio, "Intern", "GroupBoxVAVSensorAuswIE"},
    {"RadioButtonVAVSensorExtern", K::Radio, "Extern", "GroupBoxVAVSensorAuswIE"},
    {"GroupBoxVAVParameter", K::Group, "Parameter", "TabSheetKonfigQV"},
    {"LabelVAVK", K::Label, "K", "GroupBoxVAVParameter"},
    {"EditVAVK", K::Edit, nullptr, "GroupBoxVAVParameter"},
    {"LabelVAVTn", K::Label, "Tn", "GroupBoxVAVParameter"},
    {"SpinEditVAVTn", K::Spin, nullptr, "GroupBoxVAVParameter"},
    {"LabelVAVTnDim", K::Label, "ms", "GroupBoxVAVParameter"},
    {"LabelVAVTv", K::Label, "Tv", "GroupBoxVAVParameter"},
    {"SpinEditVAVTv", K::Spin, nullptr, "GroupBoxVAVParameter"},
    {"LabelVAVTvDim", K::Label, "ms", "GroupBoxVAVParameter"},
    {"LabelVAVT1", K::Label, "T1", "GroupBoxVAVParameter"},
    {"SpinEditVAVT1", K::Spin, nullptr, "GroupBoxVAVParameter"},
    {"LabelVAVT1Dim", K::Label, "ms", "GroupBoxVAVParameter"},
    {"CheckBoxVAVAdaptiv", K::Check, "Adaptiv", "GroupBoxVAVParameter"},
    {"LabelQVHinweis", K::Label, nullptr, "TabSheetKonfigQV"},
    // Transfer
    {"MemoCOMTransf", K::Memo, nullptr, "TabSheetTransfer"},
    {"ButtonClear", K::Button, nullptr, "TabSheetTransfer"},
};
// clang-format on

const char* KindName(K k)
{
    switch (k) {
    case K::Edit: return "Edit";
    case K::Label: return "Label";
    case K::Panel: return "Panel";
    case K::Frame: return "Frame";
    case K::Picture: return "Picture";
    case K::Radio: return "Radio";
    case K::Check: return "Check";
    case K::Spin: return "Spin";
    case K::Slider: return "Slider";
    case K::Group: return "Group";
    case K::Button: return "Button";
    case K::Toggle: return "Toggle";
    case K::ToolButton: return "ToolButton";
    case K::Memo: return "Memo";
    case K::List: return "List";
    case K::Combo: return "Combo";
    case K::Tab: return "Tab";
    }
    return "?";
}

bool IsSunken(const QLabel* label)
{
    return label->frameShape() == QFrame::Panel && label->frameShadow() == QFrame::Sunken;
}

bool HasKind(const TMainForm& form, QWidget* w, K kind)
{
    switch (kind) {
    case K::Edit: return qobject_cast<QLineEdit*>(w) != nullptr;
    case K::Label: {
        auto* l = qobject_cast<QLabel*>(w);
        return l && !IsSunken(l) && l->pixmap().isNull();
    }
    case K::Panel: {
        auto* l = qobject_cast<QLabel*>(w);
        return l && IsSunken(l);
    }
    case K::Frame: return qobject_cast<QFrame*>(w) && !qobject_cast<QLabel*>(w);
    case K::Picture: {
        auto* l = qobject_cast<QLabel*>(w);
        return l && !l->pixmap().isNull();
    }
    case K::Radio: return qobject_cast<QRadioButton*>(w) != nullptr;
    case K::Check: return qobject_cast<QCheckBox*>(w) != nullptr;
    case K::Spin: return qobject_cast<QSpinBox*>(w) != nullptr;
    case K::Slider: {
        auto* s = qobject_cast<QSlider*>(w);
        return s && s->orientation() == Qt::Vertical;
    }
    case K::Group: return qobject_cast<QGroupBox*>(w) != nullptr;
    case K::Button: {
        auto* b = qobject_cast<QPushButton*>(w);
        return b && !b->isCheckable();
    }
    case K::Toggle: {
        auto* b = qobject_cast<QPushButton*>(w);
        return b && b->isCheckable();
    }
    case K::ToolButton: return qobject_cast<QToolButton*>(w) != nullptr;
    case K::Memo: return qobject_cast<QPlainTextEdit*>(w) != nullptr;
    case K::List: return qobject_cast<QListWidget*>(w) != nullptr;
    case K::Combo: return qobject_cast<QComboBox*>(w) != nullptr;
    case K::Tab: return form.PageControl()->indexOf(w) >= 0;
    }
    return false;
}

QString CaptionOf(const TMainForm& form, QWidget* w, K kind)
{
    if (kind == K::Tab)
        return form.PageControl()->tabText(form.PageControl()->indexOf(w));
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    return QStringLiteral("<no caption>");
}

bool HasAncestor(const QWidget* w, const QString& name)
{
    for (const QObject* p = w->parent(); p; p = p->parent()) {
        if (p->objectName() == name)
            return true;
    }
    return false;
}

class MainWindowLayout : public ::testing::Test {
protected:
    // The window as the program shows it: bound to the model, which gives it its captions.
    void SetUp() override
    {
        model = std::make_unique<WindowModel>(kadex::mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Warn);
        form = std::make_unique<TMainForm>();
        binder = std::make_unique<ModelBinder>(*model, *form);
        QApplication::processEvents();
    }
    void TearDown() override
    {
        binder.reset();
        EXPECT_TRUE(model->problems().isEmpty()) << model->problems().join(QLatin1Char('\n')).toStdString();
    }

    template <class T>
    T* Get(const char* name)
    {
        T* w = form->ControlAs<T>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // Shows the window at its designed size and lets the layouts run.
    void ShowAtDesignSize()
    {
        form->resize(TMainForm::kClientWidth, TMainForm::kClientHeight);
        form->show();
        QApplication::processEvents();
    }

    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<ModelBinder> binder;
};

TEST_F(MainWindowLayout, WindowCaptionAndObjectName)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Kadex Tool"));
    EXPECT_EQ(form->objectName(), QStringLiteral("MainForm"));
    EXPECT_EQ(form->Control(QStringLiteral("MainForm")), form.get());
    EXPECT_FALSE(form->windowIcon().isNull());
}

TEST_F(MainWindowLayout, EveryNamedControlHasItsKindCaptionAndPlace)
{
    for (const Expected& e : kControls) {
        SCOPED_TRACE(e.name);
        QWidget* w = form->Control(QLatin1String(e.name));
        ASSERT_NE(w, nullptr) << "missing control " << e.name;
        EXPECT_TRUE(HasKind(*form, w, e.kind)) << e.name << " is not a " << KindName(e.kind) << " but a "
                                               << w->metaObject()->className();
        if (e.caption) {
            EXPECT_EQ(CaptionOf(*form, w, e.kind).toStdString(), std::string(e.caption));
        }
        EXPECT_TRUE(HasAncestor(w, QLatin1String(e.within))) << e.name << " not inside " << e.within;
    }
}

// The widget class a field of this kind binds to.
bool FitsKind(const TMainForm& form, QObject* o, Kind kind)
{
    auto* w = qobject_cast<QWidget*>(o);
    auto* button = qobject_cast<QAbstractButton*>(o);
    switch (kind) {
    case Kind::Edit: return qobject_cast<QLineEdit*>(o) != nullptr;
    case Kind::Memo: return qobject_cast<QPlainTextEdit*>(o) != nullptr;
    case Kind::Spin: return qobject_cast<QSpinBox*>(o) != nullptr;
    case Kind::Slider: return qobject_cast<QSlider*>(o) != nullptr;
    case Kind::Combo: return qobject_cast<QComboBox*>(o) != nullptr;
    case Kind::List: return qobject_cast<QListWidget*>(o) != nullptr;
    case Kind::Label: return qobject_cast<QLabel*>(o) != nullptr;
    case Kind::Panel: return qobject_cast<QFrame*>(o) != nullptr;
    case Kind::Button: return button && !button->isCheckable();
    case Kind::Toggle: return qobject_cast<QPushButton*>(o) && button->isCheckable();
    case Kind::Radio: return qobject_cast<QRadioButton*>(o) != nullptr;
    case Kind::Check: return qobject_cast<QCheckBox*>(o) != nullptr;
    case Kind::Group: return qobject_cast<QGroupBox*>(o) != nullptr;
    case Kind::Tab: return w && form.PageControl()->indexOf(w) >= 0;
    case Kind::Pages: return qobject_cast<QTabWidget*>(o) != nullptr;
    case Kind::Action: return qobject_cast<QAction*>(o) != nullptr;
    case Kind::StatusField: return w && qobject_cast<QStatusBar*>(w->parentWidget());
    }
    return false;
}

QString ShownCaption(const TMainForm& form, QObject* o, Kind kind)
{
    if (auto* a = qobject_cast<QAction*>(o))
        return a->text();
    auto* w = qobject_cast<QWidget*>(o);
    return CaptionOf(form, w, kind == Kind::Tab ? K::Tab : K::Label);
}

// The field list and the layout agree: every declared field has exactly one control of its
// kind; the layout writes no caption the model holds, the bound window shows the model's
// captions and takes its maximum lengths; and every named content control has a field or is
// one the list does not hold yet.
TEST_F(MainWindowLayout, LayoutAndFieldDeclarationAgree)
{
    TMainForm bare;
    std::map<QString, int> count;
    for (const QString& n : bare.ControlNames())
        ++count[n];
    for (const QString& n : bare.ActionNames())
        ++count[n];
    for (int i = 0; i < kadex::kFieldCount; ++i) {
        const FieldId f = kadex::allFields()[i];
        SCOPED_TRACE(f.latin1());
        if (f == kadex::fld::ButtonDruckmessung)
            continue; // the conductance measurement has no control in this window yet
        if (!model->state(f).window.isEmpty())
            continue; // a dialog's field
        EXPECT_EQ(count[f.name()], 1) << "controls of that name";
        QObject* plain = f.kind == Kind::Action ? static_cast<QObject*>(bare.Action(f)) : bare.Control(f);
        QObject* bound = binder->boundObject(f.name());
        ASSERT_NE(plain, nullptr) << "no control for the field";
        ASSERT_NE(bound, nullptr) << "field not bound";
        EXPECT_TRUE(FitsKind(bare, plain, f.kind)) << "a " << plain->metaObject()->className();
        const kadex::FieldState s = model->state(f);
        if (kadex::kindHas(f.kind, kadex::Prop::Caption) && f.kind != Kind::Panel) {
            EXPECT_EQ(ShownCaption(bare, plain, f.kind), QString()) << "the layout writes a caption";
            // A toolbar button made for a menu command shows that command's caption.
            const auto* tool = qobject_cast<QToolButton*>(bound);
            if (!tool || !tool->defaultAction()) {
                EXPECT_EQ(ShownCaption(*form, bound, f.kind), s.caption);
            }
        }
        if (auto* e = qobject_cast<QLineEdit*>(bound)) {
            EXPECT_EQ(e->maxLength(), s.maxChars > 0 ? s.maxChars : 32767);
            EXPECT_EQ(e->isReadOnly(), s.readOnly);
        }
    }
    // The unit labels must still leave room for the widest unit once the model writes them.
    EXPECT_EQ(form->ControlAs<QLabel>(kadex::fld::LabelBetrSollwPrzDim)->text(), "%");

    // Content controls without a field: only those the list does not hold yet, none of
    // them an entry the records use.
    const QStringList unbound = binder->unboundWidgets();
    for (const QString& n : unbound)
        EXPECT_FALSE(n.contains(QLatin1String("second of that name"))) << n.toStdString();
    EXPECT_FALSE(unbound.isEmpty()); // the QV and OEM choices, until their records come
}

TEST_F(MainWindowLayout, NamesAreUnique)
{
    std::map<QString, int> count;
    for (const QString& n : form->ControlNames())
        ++count[n];
    for (const QString& n : form->ActionNames())
        ++count[n];
    for (const QButtonGroup* g : form->findChildren<QButtonGroup*>())
        ++count[g->objectName()];
    for (const auto& [name, n] : count)
        EXPECT_EQ(n, 1) << name.toStdString() << " is used " << n << " times";
    // Every control of the table is among the listed names.
    const QStringList names = form->ControlNames();
    for (const Expected& e : kControls)
        EXPECT_TRUE(names.contains(QLatin1String(e.name))) << e.name;
}

TEST_F(MainWindowLayout, UnknownNamesFindNothing)
{
    EXPECT_EQ(form->Control(QStringLiteral("EditDoesNotExist")), nullptr);
    EXPECT_EQ(form->Control(QString()), nullptr);
    EXPECT_EQ(form->Action(QStringLiteral("DateiGibtEsNicht")), nullptr);
    EXPECT_EQ(form->ButtonGroup(QStringLiteral("ButtonGroupNone")), nullptr);
    EXPECT_EQ(form->StatusField(3), nullptr);
    EXPECT_EQ(form->StatusField(-1), nullptr);
    // A control is not an action and the other way round.
    EXPECT_EQ(form->Action(QStringLiteral("ButtonLesen")), nullptr);
    EXPECT_EQ(form->Control(QStringLiteral("DateiOeffnen")), nullptr);
}

TEST_F(MainWindowLayout, ReadOnlyAndEditableFields)
{
    const char* readOnly[] = {"EditFenwix", "EditOEM", "EditPosition", "EditSerNr", "EditZBAdr", "EditVAVLwAktiv",
                              "EditOEMInputOptAnzeige", "EditFirmware", "EditConfTableID", "EditSensor", "EditAntrieb",
                              "EditFunktion", "EditHoeheAnz", "EditDichte", "EditLeitwert", "EditVnomM3Anz",
                              "EditBetrSollwPrz", "EditBetrSollwM3", "EditBetrIstwPrz", "EditBetrIstwM3",
                              "EditBetrRYSignPrz", "EditBetrMotRueckPrz", "EditSignW1", "EditSignU5",
                              "EditSensorSign", "EditSensorValue"};
    for (const char* name : readOnly) {
        auto* e = Get<QLineEdit>(name);
        ASSERT_NE(e, nullptr);
        EXPECT_TRUE(e->isReadOnly()) << name;
        // Tab passes read-only fields by; a click still lets the user copy from them.
        EXPECT_EQ(e->focusPolicy(), Qt::ClickFocus) << name;
    }
    const char* editable[] = {"EditVnomM3", "EditVmaxM3_OEM", "EditVminM3_OEM", "EditVAVLwErmittelt",
                              "EditPositionInput_OEM", "EditOEMInputOEM", "EditW1Min", "EditW1Max", "EditU5Min",
                              "EditU5Max", "EditVmaxM3", "EditVmaxPrz", "EditVmidM3", "EditVmidPrz", "EditVminM3",
                              "EditVminPrz", "EditPositionInput", "EditSerNrInput", "EditVAVK"};
    for (const char* name : editable) {
        auto* e = Get<QLineEdit>(name);
        ASSERT_NE(e, nullptr);
        EXPECT_FALSE(e->isReadOnly()) << name;
        EXPECT_EQ(e->focusPolicy(), Qt::StrongFocus) << name;
    }
    auto* memo = Get<QPlainTextEdit>("MemoCOMTransf");
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->isReadOnly());
}

TEST_F(MainWindowLayout, NumericFieldsShowTheirLongestValue)
{
    const std::pair<const char*, const char*> samples[] = {
        {"EditVnomM3", "9505124"}, {"EditVmaxM3_OEM", "9505124"}, {"EditVminM3_OEM", "9505124"},
        {"EditVAVLwAktiv", "33149.00"}, {"EditVAVLwErmittelt", "33149.00"}, {"EditVnomM3Anz", "950512"},
        {"EditVmaxM3", "950512"}, {"EditVminM3", "950512"}, {"EditVmidM3", "950512"}, {"EditVmaxPrz", "100.00"},
        {"EditVminPrz", "100.00"}, {"EditVmidPrz", "-99.99"}, {"EditW1Min", "10.0"}, {"EditU5Max", "10.0"},
        {"EditBetrSollwPrz", "100.00"}, {"EditBetrSollwM3", "9505124"}, {"EditBetrIstwM3", "9505124"},
        {"EditBetrRYSignPrz", "-100.0"}, {"EditBetrMotRueckPrz", "100.0"}, {"EditSignW1", "10.0"},
        {"EditSensorSign", "10.00"}, {"EditSensorValue", "9505124"}, {"EditVAVK", "-1000.000"}};
    for (const auto& [name, text] : samples) {
        auto* e = Get<QLineEdit>(name);
        ASSERT_NE(e, nullptr);
        const int needed = QFontMetrics(e->font()).horizontalAdvance(QLatin1String(text)) + 8;
        EXPECT_GE(e->minimumWidth(), needed) << name << " too narrow for " << text;
        EXPECT_EQ(e->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight) << name;
    }
}

TEST_F(MainWindowLayout, TabsInOrderWithTransferHidden)
{
    QTabWidget* tabs = form->PageControl();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->objectName(), QStringLiteral("PageControl1"));
    ASSERT_EQ(tabs->count(), 5);
    const char* names[] = {"TabSheetKonfigOEM", "TabSheetExperte", "TabSheetService", "TabSheetKonfigQV",
                           "TabSheetTransfer"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName(), QLatin1String(names[i])) << i;
        EXPECT_EQ(tabs->isTabVisible(i), i != TMainForm::TabTransfer) << i;
    }
    EXPECT_EQ(TMainForm::TabKonfigOEM, 0);
    EXPECT_EQ(TMainForm::TabService, 2);
    EXPECT_EQ(TMainForm::TabTransfer, 4);
}

TEST_F(MainWindowLayout, BetriebAndTestPanelsFollowTheActiveTab)
{
    QTabWidget* tabs = form->PageControl();
    QWidget* betrieb = form->Control(QStringLiteral("PanelBetrieb"));
    QWidget* test = form->Control(QStringLiteral("PanelTest"));
    ASSERT_TRUE(betrieb && test);
    struct {
        int tab;
        bool betrieb;
        bool test;
    } cases[] = {{TMainForm::TabService, true, false}, {TMainForm::TabKonfigOEM, false, true},
                 {TMainForm::TabExperte, false, false}, {TMainForm::TabKonfigQV, false, false},
                 {TMainForm::TabService, true, false}};
    for (const auto& c : cases) {
        tabs->setCurrentIndex(c.tab);
        EXPECT_EQ(!betrieb->isHidden(), c.betrieb) << "tab " << c.tab;
        EXPECT_EQ(!test->isHidden(), c.test) << "tab " << c.tab;
    }
    // The Transfer tab, once shown, hides both.
    tabs->setTabVisible(TMainForm::TabTransfer, true);
    tabs->setCurrentIndex(TMainForm::TabTransfer);
    EXPECT_TRUE(betrieb->isHidden());
    EXPECT_TRUE(test->isHidden());
}

TEST(MainWindowBare, PanelsAtStartBelongToTheFirstTab)
{
    TMainForm form; // the layout alone, before the model chooses a tab
    EXPECT_EQ(form.PageControl()->currentIndex(), TMainForm::TabKonfigOEM);
    EXPECT_TRUE(form.Control(QStringLiteral("PanelBetrieb"))->isHidden());
    EXPECT_FALSE(form.Control(QStringLiteral("PanelTest"))->isHidden());
}

struct MenuEntry {
    const char* name;
    QKeySequence shortcut;
    const char* menu;
    bool checkable;
};

TEST_F(MainWindowLayout, MenuActionsWithCaptionsAndShortcuts)
{
    const MenuEntry entries[] = {
        {"DateiOeffnen", QKeySequence(Qt::Key_F8), "MenuDatei", false},
        {"DateiSpeichern", QKeySequence(), "MenuDatei", false},
        {"DateiSpeichernUnter", QKeySequence(), "MenuDatei", false},
        {"DateiDrucken", QKeySequence(QStringLiteral("Ctrl+P")), "MenuDatei", false},
        {"DateiDruckenInDatei", QKeySequence(QStringLiteral("Ctrl+Alt+P")), "MenuDatei",
         false},
        {"DateiBeenden", QKeySequence(), "MenuDatei", false},
        {"ExtrasRegSetting", QKeySequence(Qt::Key_F9), "MenuExtras", false},
        {"ExtrasZBAdress", QKeySequence(Qt::Key_F2), "MenuExtras", false},
        {"ExtrasBusScan", QKeySequence(), "MenuExtras", false},
        {"ExtrasVerlauf", QKeySequence(), "MenuExtras", false},
        {"ExtrasOptionen", QKeySequence(), "MenuExtras", false},
        {"ExtrasTransferAnzeige", QKeySequence(), "MenuExtras", true},
        {"ExtrasZBCommand", QKeySequence(), "MenuExtras", false},
        {"HilfeHilfePdf", QKeySequence(Qt::Key_F1), "MenuHilfe", false},
        {"HilfeInfo", QKeySequence(QStringLiteral("Ctrl+I")), "MenuHilfe", false},
    };
    std::map<std::string, std::vector<std::string>> order;
    for (const MenuEntry& m : entries) {
        SCOPED_TRACE(m.name);
        QAction* a = form->Action(QLatin1String(m.name));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->shortcut(), m.shortcut) << a->shortcut().toString().toStdString();
        EXPECT_EQ(a->isCheckable(), m.checkable);
        if (m.checkable) {
            EXPECT_FALSE(a->isChecked());
        }
        auto* menu = form->findChild<QMenu*>(QLatin1String(m.menu));
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(menu->actions().contains(a));
        // Shortcuts must also work while no menu is open.
        EXPECT_TRUE(form->actions().contains(a));
        order[m.menu].push_back(m.name);
    }
    // The commands appear in each menu in the order of the table.
    for (const auto& [menuName, names] : order) {
        auto* menu = form->findChild<QMenu*>(QString::fromStdString(menuName));
        std::vector<std::string> actual;
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator())
                actual.push_back(a->objectName().toStdString());
        }
        EXPECT_EQ(actual, names) << menuName;
    }
    EXPECT_EQ(form->ActionNames().size(), static_cast<qsizetype>(std::size(entries)));
}

TEST_F(MainWindowLayout, ToolbarMenuButtonsOpenTheirMenus)
{
    const std::pair<const char*, const char*> buttons[] = {{"ToolButtonDateiMenu", "MenuDatei"},
                                                           {"ToolButtonExtrasMenu", "MenuExtras"},
                                                           {"ToolButtonHilfeMenu", "MenuHilfe"}};
    for (const auto& [name, menu] : buttons) {
        auto* b = Get<QToolButton>(name);
        ASSERT_NE(b, nullptr);
        ASSERT_NE(b->menu(), nullptr) << name;
        EXPECT_EQ(b->menu()->objectName(), QLatin1String(menu));
        EXPECT_EQ(b->popupMode(), QToolButton::InstantPopup);
    }
}

TEST_F(MainWindowLayout, ToolbarButtonsFollowTheirActions)
{
    const std::pair<const char*, const char*> buttons[] = {{"ToolButtonOeffnen", "DateiOeffnen"},
                                                           {"ToolButtonSpeichern", "DateiSpeichern"},
                                                           {"ToolButtonDrucken", "DateiDrucken"},
                                                           {"ToolButtonRegFkt", "ExtrasRegSetting"}};
    ShowAtDesignSize();
    for (const auto& [name, actionName] : buttons) {
        auto* b = Get<QToolButton>(name);
        QAction* a = form->Action(QLatin1String(actionName));
        ASSERT_TRUE(b && a);
        EXPECT_EQ(b->defaultAction(), a) << name;
        EXPECT_FALSE(a->icon().isNull()) << actionName;
        EXPECT_FALSE(a->toolTip().isEmpty()) << actionName;
    }
    // The controller function button disappears with its menu command (older firmware).
    auto* regFkt = Get<QToolButton>("ToolButtonRegFkt");
    form->Action(QStringLiteral("ExtrasRegSetting"))->setVisible(false);
    QApplication::processEvents(); // the toolbar applies it when it lays itself out
    EXPECT_FALSE(regFkt->isVisible());
    form->Action(QStringLiteral("ExtrasRegSetting"))->setVisible(true);
    QApplication::processEvents();
    EXPECT_TRUE(regFkt->isVisible());
    form->Action(QStringLiteral("DateiDrucken"))->setEnabled(false);
    EXPECT_FALSE(Get<QToolButton>("ToolButtonDrucken")->isEnabled());
}

// How dark a picture looks on a light background: the sum of opacity times darkness.
double Ink(const QPixmap& pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    double ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            ink += qAlpha(p) / 255.0 * (255 - qGray(p)) / 255.0;
        }
    return ink;
}

TEST_F(MainWindowLayout, DisabledToolbarCommandsLookDisabled)
{
    ShowAtDesignSize();
    for (const char* name : {"DateiOeffnen", "DateiSpeichern", "DateiDrucken", "ExtrasRegSetting"}) {
        const QIcon icon = form->Action(QLatin1String(name))->icon();
        const double enabled = Ink(icon.pixmap(QSize(24, 24), QIcon::Normal));
        const double disabled = Ink(icon.pixmap(QSize(24, 24), QIcon::Disabled));
        EXPECT_GT(enabled, 0) << name;
        EXPECT_LT(disabled, enabled / 2) << name << " is hardly lighter when disabled";
    }
    // The menu buttons of the toolbar show their text greyed.
    for (const char* name : {"ToolButtonDateiMenu", "ToolButtonExtrasMenu", "ToolButtonHilfeMenu"}) {
        const QPalette pal = Get<QToolButton>(name)->palette();
        const QColor on = pal.color(QPalette::Active, QPalette::ButtonText);
        const QColor off = pal.color(QPalette::Disabled, QPalette::ButtonText);
        EXPECT_GT(std::abs(qGray(on.rgb()) - qGray(off.rgb())), 60) << name;
    }
}

TEST_F(MainWindowLayout, BusAddressSelectorHasNineAddresses)
{
    auto* combo = Get<QComboBox>("ComboBoxZBAdress");
    ASSERT_NE(combo, nullptr);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    EXPECT_EQ(items, (QStringList{"PP", "ZB1", "ZB2", "ZB3", "ZB4", "ZB5", "ZB6", "ZB7", "ZB8"}));
    EXPECT_EQ(combo->maxVisibleItems(), 9);
    EXPECT_EQ(combo->currentIndex(), 0);
}

TEST_F(MainWindowLayout, StatusBarHasThreeFields)
{
    const std::pair<const char*, int> fields[] = {{"StatusBarCom", 50}, {"StatusBarFunktion", 120},
                                                  {"StatusBarMessage", 50}};
    QStatusBar* bar = form->statusBar();
    for (int i = 0; i < 3; ++i) {
        auto* label = Get<QLabel>(fields[i].first);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(form->StatusField(i), label) << i;
        EXPECT_GE(label->minimumWidth(), fields[i].second) << fields[i].first;
        EXPECT_EQ(label->parentWidget(), bar);
    }
    ShowAtDesignSize();
    // Left to right in index order.
    EXPECT_LT(form->StatusField(0)->x(), form->StatusField(1)->x());
    EXPECT_LT(form->StatusField(1)->x(), form->StatusField(2)->x());
}

struct RadioSet {
    const char* group;
    std::vector<const char*> radios;
    const char* initiallyChecked; // nullptr: none
};

TEST_F(MainWindowLayout, RadioChoicesAreExclusiveWithTheirStartSelection)
{
    const RadioSet sets[] = {
        {"ButtonGroupSensTyp",
         {"RadioButtonSensTypDruck", "RadioButtonSensTypVolumenstr", "RadioButtonSensTypDSK3Druck"},
         "RadioButtonSensTypDruck"},
        {"ButtonGroupSensor",
         {"RadioButtonDPK100", "RadioButtonDPK300", "RadioButtonDPK600", "RadioButtonDPKVariabel"},
         "RadioButtonDPK300"},
        {"ButtonGroupAntrieb", {"RadioButtonAntr_HFX_ST", "RadioButtonAntr_RGT", "RadioButtonAntr_Variabel"},
         "RadioButtonAntr_HFX_ST"},
        {"ButtonGroupMode_OEM",
         {"RadioButtonMode_W1_2_10V_OEM", "RadioButtonMode_W1_0_10V_OEM", "RadioButtonMode_W1_OEM"},
         "RadioButtonMode_W1_0_10V_OEM"},
        {"ButtonGroupMode", {"RadioButtonMode_W1_2_10V", "RadioButtonMode_W1_0_10V", "RadioButtonMode_W1"},
         "RadioButtonMode_W1_0_10V"},
        {"ButtonGroupOEMInput", {"RadioButtonOEMInputOEM", "RadioButtonOEMInputAnzeige"}, "RadioButtonOEMInputOEM"},
        {"ButtonGroupBetrieb",
         {"RadioBetrAuto", "RadioBetrZu", "RadioBetrAuf", "RadioBetrSchnellZu", "RadioBetrSchnellAuf",
          "RadioBetrVMin", "RadioBetrVMid", "RadioBetrVMax", "RadioBetrVNom", "RadioBetrVariabel"},
         "RadioBetrAuto"},
        {"ButtonGroupSensorIE", {"RadioButtonVAVSensorIntern", "RadioButtonVAVSensorExtern"},
         "RadioButtonVAVSensorExtern"},
    };
    for (const RadioSet& set : sets) {
        SCOPED_TRACE(set.group);
        QButtonGroup* group = form->ButtonGroup(QLatin1String(set.group));
        ASSERT_NE(group, nullptr);
        EXPECT_TRUE(group->exclusive());
        std::vector<QRadioButton*> radios;
        for (const char* name : set.radios) {
            auto* r = Get<QRadioButton>(name);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->group(), group) << name;
            EXPECT_EQ(r->isChecked(), set.initiallyChecked && std::string(name) == set.initiallyChecked) << name;
            radios.push_back(r);
        }
        EXPECT_EQ(group->buttons().size(), static_cast<qsizetype>(radios.size()));
        for (QRadioButton* chosen : radios) {
            chosen->setChecked(true);
            for (QRadioButton* other : radios)
                EXPECT_EQ(other->isChecked(), other == chosen) << other->objectName().toStdString();
        }
    }
}

TEST_F(MainWindowLayout, FreeRangeChoicesStartHidden)
{
    EXPECT_TRUE(form->Control(QStringLiteral("RadioButtonMode_W1"))->isHidden());
    EXPECT_TRUE(form->Control(QStringLiteral("RadioButtonMode_W1_OEM"))->isHidden());
    EXPECT_FALSE(form->Control(QStringLiteral("RadioButtonMode_W1_0_10V"))->isHidden());
}

TEST_F(MainWindowLayout, ComparisonIndicatorStacksNotEqualOverEqual)
{
    ShowAtDesignSize();
    QWidget* panel = form->Control(QStringLiteral("PanelVergleich"));
    auto* equal = Get<QLabel>("ImageEqual");
    auto* notEqual = Get<QLabel>("ImageNotEqual");
    ASSERT_TRUE(panel && equal && notEqual);
    EXPECT_EQ(equal->geometry(), notEqual->geometry());
    const QPoint centre = panel->rect().center();
    // At start the window is not known to equal the device.
    EXPECT_EQ(panel->childAt(centre), notEqual);
    notEqual->setVisible(false);
    EXPECT_EQ(panel->childAt(centre), equal);
    notEqual->setVisible(true);
    EXPECT_EQ(panel->childAt(centre), notEqual);
    // The two pictures must differ, or the indicator would tell nothing.
    EXPECT_NE(equal->pixmap().toImage(), notEqual->pixmap().toImage());
}

TEST_F(MainWindowLayout, SlidersRunFromHundredPercentAtTheTop)
{
    auto* vmax = Get<QSlider>("TrackBarVMax");
    auto* vmin = Get<QSlider>("TrackBarVMin");
    ASSERT_TRUE(vmax && vmin);
    EXPECT_EQ(vmax->minimum(), 0);
    EXPECT_EQ(vmax->maximum(), 70);
    EXPECT_EQ(vmin->minimum(), 0);
    EXPECT_EQ(vmin->maximum(), 100);
    for (QSlider* s : {vmax, vmin}) {
        EXPECT_EQ(s->orientation(), Qt::Vertical);
        EXPECT_EQ(s->tickInterval(), 10);
        EXPECT_TRUE(s->invertedAppearance()); // position 0 (100 %) drawn at the top
    }
}

TEST_F(MainWindowLayout, QvFieldsHaveTheirRanges)
{
    struct {
        const char* name;
        int min;
        int max;
        bool enabled;
    } spins[] = {{"SpinEditSnrJahr", 0, 99, true},         {"SpinEditSnrWoche", 1, 52, true},
                 {"SpinEditSnrNum", 1, 5535, true},        {"SpinEditSnrDevFam", 1, 255, false},
                 {"SpinEditSnrTestStation", 1, 255, true}, {"SpinEditSnrSuffix", 0, 255, false},
                 {"SpinEditVAVTn", 0, 32767, true},        {"SpinEditVAVTv", 0, 32767, true},
                 {"SpinEditVAVT1", 0, 32767, true}};
    for (const auto& s : spins) {
        auto* spin = Get<QSpinBox>(s.name);
        ASSERT_NE(spin, nullptr);
        EXPECT_EQ(spin->minimum(), s.min) << s.name;
        EXPECT_EQ(spin->maximum(), s.max) << s.name;
        EXPECT_EQ(spin->isEnabled(), s.enabled) << s.name;
    }
    auto* day = Get<QComboBox>("ComboBoxSnrTag");
    ASSERT_NE(day, nullptr);
    QStringList days;
    for (int i = 0; i < day->count(); ++i)
        days << day->itemText(i);
    EXPECT_EQ(days, (QStringList{"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"}));
}

TEST_F(MainWindowLayout, AlarmListAllowsSeveralSelections)
{
    auto* list = Get<QListWidget>("ListBoxAlarme");
    ASSERT_NE(list, nullptr);
    EXPECT_NE(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_NE(list->selectionMode(), QAbstractItemView::NoSelection);
}

// Tab on every tab sheet: each field that takes the keyboard is reached once per round, in
// reading order. Two widgets are compared through the children of their nearest common parent
// that hold them, so the fields of a group (or of a panel within it) are read as one block:
// blocks side by side (overlapping rows) left to right, otherwise top to bottom.
TEST_F(MainWindowLayout, TabWalksEveryFieldOfEachTabInReadingOrder)
{
    QTabWidget* tabs = form->PageControl();
    tabs->setTabVisible(TMainForm::TabTransfer, true);
    ShowAtDesignSize();
    const auto tabbable = [](const QWidget* w) {
        return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy() && w->isVisible()
               && w->isEnabled();
    };
    // The chain of parents from just below the page down to the widget.
    const auto lineage = [](QWidget* w, const QWidget* page) {
        std::vector<QWidget*> up;
        for (; w && w != page; w = w->parentWidget())
            up.insert(up.begin(), w);
        return up;
    };
    // Qt's inner widgets (the plot's buttons) by their class and named parent.
    const auto name = [](const QWidget* w) {
        QString n = w->objectName();
        for (const QWidget* p = w; n.isEmpty() && p; p = p->parentWidget())
            if (!p->objectName().isEmpty())
                n = QStringLiteral("%1 in %2").arg(QLatin1String(w->metaObject()->className()), p->objectName());
        return n.toStdString();
    };
    const auto readsBefore = [](const QRect& a, const QRect& b) {
        const int overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
        if (overlap > 4) // on one row
            return a.left() < b.left() - 4;
        return a.top() < b.top();
    };
    for (int t = 0; t < tabs->count(); ++t) {
        tabs->setCurrentIndex(t);
        QApplication::processEvents();
        QWidget* page = tabs->widget(t);
        SCOPED_TRACE(page->objectName().toStdString());
        // The order must hold once a controller enables the fields, too.
        for (QWidget* w : page->findChildren<QWidget*>())
            w->setEnabled(true);
        QApplication::processEvents();

        std::vector<QWidget*> visited;
        std::map<QWidget*, int> rounds;
        int steps = 0;
        bool left = false; // Tab went on to a control outside the page
        for (QWidget* w = page->nextInFocusChain(); w != page && steps < 10000; w = w->nextInFocusChain(), ++steps) {
            if (!tabbable(w))
                continue;
            if (!page->isAncestorOf(w)) {
                left = left || !visited.empty();
                continue;
            }
            if (left)
                ADD_FAILURE() << "Tab leaves the page before it reaches " << name(w);
            left = false;
            if (rounds[w]++ == 0)
                visited.push_back(w);
        }
        ASSERT_LT(steps, 10000) << "the focus chain does not come back to the page";

        size_t expected = 0;
        for (QWidget* w : page->findChildren<QWidget*>()) {
            if (!w->isVisible() || !w->isEnabled() || w->focusProxy())
                continue;
            const auto* line = qobject_cast<QLineEdit*>(w);
            const auto* spin = qobject_cast<QAbstractSpinBox*>(w);
            const bool entry = (line && !line->isReadOnly()) || (spin && !spin->isReadOnly())
                               || qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w)
                               || qobject_cast<QAbstractButton*>(w);
            if (entry && !tabbable(w) && !qobject_cast<QRadioButton*>(w))
                ADD_FAILURE() << name(w) << " cannot be reached with Tab";
            if (tabbable(w)) {
                ++expected;
                EXPECT_EQ(rounds[w], 1) << name(w) << " is visited " << rounds[w] << " times in one round";
            }
        }
        EXPECT_EQ(visited.size(), expected);
        EXPECT_GT(visited.size(), 0u);

        for (size_t i = 0; i < visited.size(); ++i) {
            const std::vector<QWidget*> a = lineage(visited[i], page);
            for (size_t j = i + 1; j < visited.size(); ++j) {
                const std::vector<QWidget*> b = lineage(visited[j], page);
                size_t k = 0;
                while (k + 1 < a.size() && k + 1 < b.size() && a[k] == b[k])
                    ++k;
                const QRect ra(a[k]->mapTo(page, QPoint(0, 0)), a[k]->size());
                const QRect rb(b[k]->mapTo(page, QPoint(0, 0)), b[k]->size());
                EXPECT_FALSE(readsBefore(rb, ra)) << "Tab reaches " << name(visited[i]) << " before "
                                                  << name(visited[j]) << ", which reads before it";
            }
        }
    }
}

TEST_F(MainWindowLayout, BuiltInPicturesAreLoaded)
{
    for (const char* name : {"ImageLogo", "ImageEqual", "ImageNotEqual"}) {
        auto* label = Get<QLabel>(name);
        ASSERT_NE(label, nullptr);
        EXPECT_FALSE(label->pixmap().isNull()) << name;
    }
}

// Runs a form created with the working directory set to dir.
std::unique_ptr<TMainForm> FormCreatedIn(const QString& dir)
{
    const QString previous = QDir::currentPath();
    EXPECT_TRUE(QDir::setCurrent(dir));
    auto form = std::make_unique<TMainForm>();
    QDir::setCurrent(previous);
    return form;
}

TEST(MainWindowLogo, UserLogoInTheWorkingDirectoryReplacesTheBuiltInOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(QColor(200, 10, 20));
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("UserLogo.bmp")), "BMP"));

    auto form = FormCreatedIn(dir.path());
    auto* logo = form->ControlAs<QLabel>(QStringLiteral("ImageLogo"));
    ASSERT_NE(logo, nullptr);
    const QImage shown = logo->pixmap().toImage();
    EXPECT_EQ(shown.size(), QSize(40, 30));
    EXPECT_EQ(QColor(shown.pixel(5, 5)), QColor(200, 10, 20));
}

TEST(MainWindowLogo, LargeUserLogoIsFittedIntoThePane)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage picture(800, 200, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("UserLogo.bmp")), "BMP"));

    auto form = FormCreatedIn(dir.path());
    const QPixmap shown = form->ControlAs<QLabel>(QStringLiteral("ImageLogo"))->pixmap();
    EXPECT_LE(shown.width(), TMainForm::kIdentPaneWidth);
    EXPECT_GT(shown.width(), 100);
    EXPECT_NEAR(shown.height(), shown.width() / 4.0, 1.0); // aspect kept
}

TEST(MainWindowLogo, WithoutUserLogoOrWithABrokenOneTheBuiltInLogoStays)
{
    const QImage builtIn = TMainForm().ControlAs<QLabel>(QStringLiteral("ImageLogo"))->pixmap().toImage();
    ASSERT_FALSE(builtIn.isNull());

    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    EXPECT_EQ(FormCreatedIn(empty.path())->ControlAs<QLabel>(QStringLiteral("ImageLogo"))->pixmap().toImage(),
              builtIn);

    QTemporaryDir broken;
    ASSERT_TRUE(broken.isValid());
    QFile file(broken.filePath(QStringLiteral("UserLogo.bmp")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    EXPECT_EQ(FormCreatedIn(broken.path())->ControlAs<QLabel>(QStringLiteral("ImageLogo"))->pixmap().toImage(),
              builtIn);
}

TEST_F(MainWindowLayout, FitsTheDesignedSize)
{
    const QSize minimum = form->minimumSizeHint();
    EXPECT_LE(minimum.width(), TMainForm::kClientWidth);
    EXPECT_LE(minimum.height(), TMainForm::kClientHeight);
    ShowAtDesignSize();
    EXPECT_EQ(form->size(), QSize(TMainForm::kClientWidth, TMainForm::kClientHeight));
    EXPECT_EQ(form->Control(QStringLiteral("PanelIdent"))->width(), TMainForm::kIdentPaneWidth);
}

// On every tab of a window shown at its designed size (or the given one): no caption is cut
// and no named control sticks out of the window.
void ExpectNothingClipped(TMainForm& form, QSize size = QSize(TMainForm::kClientWidth, TMainForm::kClientHeight))
{
    EXPECT_LE(form.minimumSizeHint().width(), TMainForm::kClientWidth);
    EXPECT_LE(form.minimumSizeHint().height(), TMainForm::kClientHeight);
    form.resize(size);
    form.show();
    QApplication::processEvents();
    QTabWidget* tabs = form.PageControl();
    const bool transferShown = tabs->isTabVisible(TMainForm::TabTransfer);
    tabs->setTabVisible(TMainForm::TabTransfer, true);
    const QRect window = form.rect();
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        QApplication::processEvents();
        int captions = 0;
        for (QWidget* w : form.findChildren<QWidget*>()) {
            const QString name = w->objectName();
            if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || !w->isVisible() || qobject_cast<QMenu*>(w))
                continue;
            SCOPED_TRACE("tab " + std::to_string(tab) + " " + name.toStdString());
            const QRect r(w->mapTo(&form, QPoint(0, 0)), w->size());
            EXPECT_TRUE(window.contains(r)) << "outside the window";
            if (auto* l = qobject_cast<QLabel*>(w)) {
                if (!l->text().isEmpty() && !l->wordWrap()) {
                    EXPECT_GE(l->width(), l->sizeHint().width()) << "caption cut: " << l->text().toStdString();
                }
                if (l->wordWrap()) {
                    EXPECT_GE(l->height(), l->heightForWidth(l->width())) << "wrapped text cut";
                }
            } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                if (!b->text().isEmpty()) {
                    EXPECT_GE(b->width(), b->sizeHint().width()) << "caption cut: " << b->text().toStdString();
                }
            } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                EXPECT_GE(g->width(), g->minimumSizeHint().width());
                EXPECT_GE(g->height(), g->minimumSizeHint().height());
            } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
                if (!e->text().isEmpty()) {
                    const int text = QFontMetrics(e->font()).horizontalAdvance(e->text());
                    EXPECT_GE(e->width(), text + 8) << "text cut: " << e->text().toStdString();
                }
            }
            if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))
                ++captions;
        }
        // The identification pane and the button strip alone carry more than ten.
        EXPECT_GT(captions, 10) << "tab " << tab;
    }
    tabs->setTabVisible(TMainForm::TabTransfer, transferShown);
    tabs->setCurrentIndex(TMainForm::TabKonfigOEM);
}

TEST_F(MainWindowLayout, NoClippedCaptionsOnAnyTab)
{
    ExpectNothingClipped(*form);
}

TEST_F(MainWindowLayout, ShrinksNoFurtherThanItsLayoutAllows)
{
    form->ControlAs<QLineEdit>(QStringLiteral("EditSerNr"))->setText(QStringLiteral("00852-20017-003-001"));
    form->ControlAs<QLineEdit>(QStringLiteral("EditFenwix"))->setText(QStringLiteral("Kadex [KPR Mode]"));
    ShowAtDesignSize();
    form->resize(300, 200);
    QApplication::processEvents();
    const QSize minimum = form->minimumSizeHint();
    EXPECT_GE(form->width(), minimum.width());
    EXPECT_GE(form->height(), minimum.height());
    // Dragging the splitter to the left stops where the pane's contents still fit.
    auto* splitter = form->findChild<QSplitter*>(QStringLiteral("SplitterIdent"));
    ASSERT_NE(splitter, nullptr);
    splitter->setSizes({10, 5000});
    QApplication::processEvents();
    QWidget* pane = form->Control(QStringLiteral("PanelIdent"));
    EXPECT_GE(pane->width(), pane->minimumSizeHint().width());
    ExpectNothingClipped(*form, minimum);
    // Made smaller all the same (as a window manager may, or an X server without one): the
    // contents keep their minimum and scroll.
    form->setMinimumSize(1, 1);
    form->resize(400, 300);
    QApplication::processEvents();
    ASSERT_EQ(form->width(), 400);
    EXPECT_GE(splitter->width(), splitter->minimumSizeHint().width());
    EXPECT_GE(splitter->height(), splitter->minimumSizeHint().height());
}

// The longest texts the program writes into the window later (pressure application, other
// unit sets, free input range, status texts) still fit the designed size.
TEST_F(MainWindowLayout, LongestRunTimeTextsStillFit)
{
    const std::pair<const char*, const char*> texts[] = {
        {"RadioButtonMode_W1", "w: 10.0 .. 10.0 V, U5: 10.0 .. 10.0 V"},
        {"RadioButtonMode_W1_OEM", "w: 10.0 .. 10.0 V, U5: 10.0 .. 10.0 V"},
        {"RadioBetrVMid", "Motor stop"},
        {"RadioBetrVMin", "P'min"},
        {"RadioBetrVMax", "P'max"},
        {"RadioBetrVNom", "P'nom"},
        {"RadioButtonDPK100", "DSK3-100"},
        {"RadioButtonDPK300", "DSK3-300"},
        {"RadioButtonDPK600", "DSK3-600"},
        {"GroupBoxVAVVolumenStrom", "Druck"},
        {"LabelVmaxPrzDim", "% von P'nom"},
        {"LabelVminPrzDim", "% von V'nom"},
        {"LabelVminPrzBereich", "Bereich 100 .. 33.33%"},
        {"LabelVmaxPrzBereich", "Bereich 30..100%"},
        {"LabelSensorTyp", "DSK3-Drucksensor"},
        {"PanelProgStatus", "Daten schreiben"},
        {"PanelBetrStatus", "Variabler Betrieb V'min .. V'max"},
        {"PanelSecOnline", "99:59:59"},
        {"StatusBarCom", "COM12"},
        {"StatusBarFunktion", "Volumenstrom"},
        {"StatusBarMessage", "Kann COM nicht öffnen!"},
        {"EditFenwix", "Kadex [KPR Mode]"},
        {"EditSerNr", "00852-20017-003-001"},
        {"EditAntrieb", "Schnellläufer (..-HFX)"},
        {"EditFunktion", "Druck [Kadex KPR]"},
        {"EditSerNrInput", "00852-20017-003-001"},
    };
    for (const auto& [name, text] : texts) {
        QWidget* w = form->Control(QLatin1String(name));
        ASSERT_NE(w, nullptr) << name;
        if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(QString::fromUtf8(text));
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            b->setText(QString::fromUtf8(text));
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            g->setTitle(QString::fromUtf8(text));
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            e->setText(QString::fromUtf8(text));
        w->setVisible(true);
    }
    for (const char* dim : {"LabelVnomM3Dim", "LabelVmaxM3_OEMDim", "LabelVminM3_OEMDim", "LabelVnomM3AnzDim",
                            "LabelVmaxM3Dim", "LabelVmidM3Dim", "LabelVminM3Dim", "LabelBetrSollwM3Dim",
                            "LabelBetrIstwM3Dim", "LabelSensorValueDim"})
        form->ControlAs<QLabel>(QLatin1String(dim))->setText(QStringLiteral("uPSI"));
    ExpectNothingClipped(*form);
}

TEST_F(MainWindowLayout, ScreenshotsOfAllTabs)
{
    ShowAtDesignSize();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("shots"));
    const int tabBefore = form->PageControl()->currentIndex();
    QString error;
    const QStringList files = kadex::TakeScreenshots(*form, target, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    const char* expected[] = {"tab-0-oem.png", "tab-1-experte.png", "tab-2-service.png", "tab-3-qv.png",
                              "tab-4-transfer.png"};
    ASSERT_EQ(files.size(), 5);
    std::vector<QImage> pictures;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(kadex::ScreenshotFileName(i), QLatin1String(expected[i]));
        EXPECT_EQ(QFileInfo(files[i]).fileName(), QLatin1String(expected[i]));
        const QImage image(files[i]);
        ASSERT_FALSE(image.isNull()) << expected[i];
        EXPECT_EQ(image.size(), form->size() * form->devicePixelRatio());
        pictures.push_back(image);
    }
    // Each picture shows a different tab.
    for (size_t i = 0; i < pictures.size(); ++i)
        for (size_t j = i + 1; j < pictures.size(); ++j)
            EXPECT_NE(pictures[i], pictures[j]) << i << " and " << j;
    // The window is left as it was: Transfer hidden, the same tab active.
    EXPECT_FALSE(form->PageControl()->isTabVisible(TMainForm::TabTransfer));
    EXPECT_EQ(form->PageControl()->currentIndex(), tabBefore);
    EXPECT_TRUE(kadex::ScreenshotFileName(5).isEmpty());
}

TEST_F(MainWindowLayout, ScreenshotOptionIsRecognised)
{
    EXPECT_FALSE(kadex::ScheduleScreenshots({QStringLiteral("kadex-tool")}, *form));
    EXPECT_FALSE(kadex::ScheduleScreenshots({QStringLiteral("kadex-tool"), QStringLiteral("--simulate")}, *form));
}

} // namespace
