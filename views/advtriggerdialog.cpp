#include "views/advtriggerdialog.h"

#include "features/featuremanager.h"
#include "presets/presetsfile.h"
#include "presets/settingstreemodel.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QHideEvent>
#include <QScrollBar>
#include <QSettings>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {

const QString FallingEdge = QStringLiteral("FallingEdge");
const QString TimerDelay = QStringLiteral("TimerDelay");
const QString TimerDuration = QStringLiteral("TimerDuration");

// Under the host's organisation and application name.
const QString SettingsGroup = QStringLiteral("AdvancedTriggerDialog");
const QString WindowSizeKey = QStringLiteral("windowSize");
const QString OpenSectionKey = QStringLiteral("open/%1");

// Title bar and borders lie outside a window's size: room for them on common
// desktops, so that a window opened at most this much smaller than the
// screen's free area fits on it.
const QSize WindowFrame(16, 40);
// A line edit's frame and text margins, both sides.
constexpr int StatusFieldMargin = 16;

// Features are in µs, the PWM fields in Hz and percent.
const double Micro = std::pow(10.0, -6.0);

// To six significant digits, as the fields show them.
double Rounded(double value)
{
    return QStringLiteral("%1").arg(value, 0, 'g', -1, QLatin1Char(' ')).toDouble();
}

} // namespace

AdvTriggerDialog::AdvTriggerDialog(const CameraFeatureList& features, int presetIndex, QWidget* parent)
    : AdvTriggerBase(features, parent)
{
    ui.setupUi(this);
    ui.lbl_notAcquireHint->hide();

    ui.lbl_noActionCommandsHint->setVisible(!featureManager->HasFeature(QStringLiteral("ActionSelector")));
    ui.lbl_noSoftwareSignalHint->setVisible(!featureManager->HasFeature(QStringLiteral("SoftwareSignalSelector")));
    ui.lbl_noCounterTimerHint->setVisible(!featureManager->HasFeature(QStringLiteral("CounterSelector"))
                                          || !featureManager->HasFeature(QStringLiteral("TimerSelector")));

    nonFeatureWidgets << QStringLiteral("cmbSelectPreset") << QStringLiteral("txtPWMFrequency")
                      << QStringLiteral("txtPWMDutyCycle") << QStringLiteral("lbl_notAcquireHint")
                      << QStringLiteral("chkTooltips") << QStringLiteral("lbl_noActionCommandsHint");

    BindFeatureWidgets();
    // A status field shows every state whole ("CounterCompleted"): wide
    // enough for the longest entry the camera names.
    for (QLineEdit* status : {ui.txtCounterStatus, ui.txtTimerStatus}) {
        int widest = 0;
        const auto entries = featureManager->GetEntryNumbers(status->objectName().mid(3));
        for (auto it = entries.cbegin(); it != entries.cend(); ++it)
            widest = std::max(widest, status->fontMetrics().horizontalAdvance(it.key()));
        if (widest > 0)
            status->setMinimumWidth(widest + StatusFieldMargin);
    }
    BuildLineTable(ui.tableWidget);
    // Every line's row stays in view: when the sections need more height
    // than there is, their scroll area scrolls rather than the table shrinking.
    QSizePolicy tablePolicy = ui.tableWidget->sizePolicy();
    tablePolicy.setVerticalPolicy(QSizePolicy::Minimum);
    ui.tableWidget->setSizePolicy(tablePolicy);
    AttachStatusTree(ui.treeView);
    ApplyColorScheme();

    LoadPresets(ui.cmbSelectPreset, QCoreApplication::applicationDirPath());
    // Shown as on the page, and connected only now, so it is not applied again.
    ui.cmbSelectPreset->setCurrentIndex(presetIndex);
    connect(ui.cmbSelectPreset, SIGNAL(currentIndexChanged(int)), this, SLOT(OnSelectPreset(int)));

    // Typed and shown like the spin boxes beside them; a zero period or a
    // duty cycle beyond 100 % is marked and refused, not dropped unsaid.
    MakeNumberField(ui.txtPWMDutyCycle, 0.0, 100.0, 2, false);
    MakeNumberField(ui.txtPWMFrequency, 0.0, 1000000.0, 2, false);
    ui.lblPWMFrequency->setBuddy(ui.txtPWMFrequency); // names the fields in messages
    ui.label->setBuddy(ui.txtPWMDutyCycle);
    connect(ui.txtPWMDutyCycle, SIGNAL(editingFinished()), this, SLOT(calculatePWM()));
    connect(ui.txtPWMFrequency, SIGNAL(editingFinished()), this, SLOT(calculatePWM()));
    connect(ui.spbTimerDelay, SIGNAL(valueChanged(double)), this, SLOT(reverseCalcPWM()));
    connect(ui.spbTimerDuration, SIGNAL(valueChanged(double)), this, SLOT(reverseCalcPWM()));
    connect(ui.grpPWM, SIGNAL(toggled(bool)), this, SLOT(enablePWM(bool)));

    RestoreSections();
    ui.btnConfigureTriggerSources->setContent(ui.frmConfigureTriggerSources);
    ui.btnConfigureInputOutput->setContent(ui.frmConfigureInputOutput);
    ui.btnConfigureAcquisitionMode->setContent(ui.frmConfigureAcquisitionMode);
    ui.btnConfigureCounterTimer->setContent(ui.frmCounterTimer);
    ui.btnConfigureSoftwareSignal->setContent(ui.frmSoftwareSignal);
    ui.btnConfigureActionCommand->setContent(ui.frmActionCommand);

    connect(ui.chkTooltips, SIGNAL(stateChanged(int)), this, SLOT(ActivateTooltips(int)));
    RegisterObservers(false);
}

AdvTriggerDialog::~AdvTriggerDialog() = default;

int AdvTriggerDialog::PresetIndex() const
{
    return ui.cmbSelectPreset->currentIndex();
}

QSize AdvTriggerDialog::OpeningWindowSize(const QRect& available) const
{
    QSettings settings;
    settings.beginGroup(SettingsGroup);
    QSize size = settings.value(WindowSizeKey).toSize();
    if (!size.isValid())
        size = DefaultWindowSize();
    // A size remembered on a larger screen still fits this one.
    return size.boundedTo(available.size() - WindowFrame);
}

QSize AdvTriggerDialog::DefaultWindowSize() const
{
    ensurePolished(); // style sheets change the size hints
    QMargins margins = ui.horizontalLayout_2->contentsMargins();
    if (window() != this && window()->layout())
        margins += window()->layout()->contentsMargins();
    // The status tree keeps the width its layout gives it (stretch 0); the
    // sections get the rest, beside the vertical scroll bar they usually need.
    const int statusWidth = qMax(ui.scrollArea_2->minimumWidth(), ui.scrollArea_2->sizeHint().width());
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ui.scrollArea->verticalScrollBar());
    const int frames = 2 * ui.scrollArea->frameWidth();
    const QSize sections = ui.scrollAreaWidgetContents->sizeHint();
    const QSize status = ui.scrollAreaWidgetContents_2->sizeHint();
    const int width = sections.width() + scrollBar + frames + ui.horizontalLayout_2->spacing() + statusWidth;
    const int height = qMax(sections.height(), status.height()) + frames;
    return QSize(width, height).grownBy(margins);
}

QList<CollapsingButton*> AdvTriggerDialog::SectionButtons() const
{
    return {ui.btnConfigureTriggerSources, ui.btnConfigureInputOutput, ui.btnConfigureAcquisitionMode,
            ui.btnConfigureCounterTimer,   ui.btnConfigureSoftwareSignal, ui.btnConfigureActionCommand};
}

void AdvTriggerDialog::RestoreSections()
{
    // Before the buttons take their frames, which then start folded or not.
    QSettings settings;
    settings.beginGroup(SettingsGroup);
    for (CollapsingButton* button : SectionButtons()) {
        const QString key = OpenSectionKey.arg(button->objectName());
        if (settings.contains(key))
            button->setChecked(settings.value(key).toBool());
    }
}

void AdvTriggerDialog::hideEvent(QHideEvent* event)
{
    // Spontaneous ones come from minimising; closing hides through Qt.
    if (!event->spontaneous()) {
        QSettings settings;
        settings.beginGroup(SettingsGroup);
        settings.setValue(WindowSizeKey, window()->normalGeometry().size());
        for (CollapsingButton* button : SectionButtons())
            settings.setValue(OpenSectionKey.arg(button->objectName()), button->isChecked());
    }
    AdvTriggerBase::hideEvent(event);
}

void AdvTriggerDialog::SetCustomPreset()
{
    ui.cmbSelectPreset->setCurrentText(PresetsFile::CustomPreset);
}

void AdvTriggerDialog::calculatePWM()
{
    double frequency = 0.0;
    double dutyCycle = 0.0;
    // Both are read, so that each one that cannot be taken is marked. A
    // field still empty is no mistake: the user may be filling the other.
    const FieldInput frequencyInput = ReadNumberField(ui.txtPWMFrequency, frequency);
    const FieldInput dutyCycleInput = ReadNumberField(ui.txtPWMDutyCycle, dutyCycle);
    if (frequencyInput != FieldInput::Number || dutyCycleInput != FieldInput::Number)
        return;
    const double duration = dutyCycle / (frequency * 100 * Micro);
    featureManager->SetValue(TimerDuration, Rounded(duration));
    const double delay = (100 / dutyCycle) * duration - duration;
    featureManager->SetValue(TimerDelay, Rounded(delay));
}

void AdvTriggerDialog::reverseCalcPWM()
{
    if (!ui.grpPWM->isChecked())
        return;
    const double delay = ui.spbTimerDelay->value();
    const double duration = ui.spbTimerDuration->value();
    double frequency = 0.0;
    double dutyCycle = 0.0;
    if (delay > 0.0 || duration > 0.0) {
        frequency = 1.0 / (Micro * duration + Micro * delay);
        dutyCycle = duration / (duration + delay) * 100;
    }
    for (auto [field, value] : {std::pair(ui.txtPWMFrequency, frequency), std::pair(ui.txtPWMDutyCycle, dutyCycle)}) {
        field->setText(NumberText(value));
        SetInputMark(field, QString()); // the timer's values replace what was typed
    }
}

void AdvTriggerDialog::enablePWM(bool on)
{
    if (!on) {
        // The fields stay silent until PWM mode comes back.
        ui.txtPWMFrequency->blockSignals(true);
        ui.txtPWMFrequency->setText(QString());
        ui.txtPWMDutyCycle->blockSignals(true);
        ui.txtPWMDutyCycle->setText(QString());
        SetInputMark(ui.txtPWMFrequency, QString());
        SetInputMark(ui.txtPWMDutyCycle, QString());
        return;
    }
    ui.txtPWMFrequency->blockSignals(false);
    ui.txtPWMDutyCycle->blockSignals(false);
    if (!ui.txtPWMFrequency->text().isEmpty())
        calculatePWM();
    else
        reverseCalcPWM();
    ui.cmbTimerTriggerSource->setCurrentText(QStringLiteral("%1Active").arg(ui.cmbTimerSelector->currentText()));
    ui.cmbTimerTriggerActivation->setCurrentText(FallingEdge);
}

void AdvTriggerDialog::disableContents(bool streamingIsOn)
{
    ui.lbl_notAcquireHint->setVisible(streamingIsOn);
    ui.cmbSelectPreset->setEnabled(!streamingIsOn);
}

void AdvTriggerDialog::UpdateChangedFeatures()
{
    // Line levels change by themselves, notified or not: the LEDs follow
    // them on every tick.
    RefreshLineStatus(ui.tableWidget);
    // Counters and timers of entries not selected count on unheard: an open
    // status tree reads them itself.
    if (ui.treeView->isVisible())
        statusModel->RefreshOtherEntries();
    if (changedFeatures->isEmpty())
        return;
    RefreshFeatureWidgets();
    RefreshLineTable(ui.tableWidget);
    if (changedFeatures->contains(TimerDelay) || changedFeatures->contains(TimerDuration)) {
        // Showing the camera's values must not write them back.
        const QSignalBlocker frequency(ui.txtPWMFrequency);
        const QSignalBlocker dutyCycle(ui.txtPWMDutyCycle);
        reverseCalcPWM();
    }
    if (changedFeatures->contains(QStringLiteral("TimerSelector"))
        || changedFeatures->contains(QStringLiteral("TimerTriggerSource"))
        || changedFeatures->contains(QStringLiteral("TimerTriggerActivation"))) {
        // A timer the camera already runs as a PWM switches PWM mode on.
        const QString ownActive = QStringLiteral("%1Active").arg(ui.cmbTimerSelector->currentText());
        if (ui.cmbTimerTriggerSource->currentText() == ownActive
            && ui.cmbTimerTriggerActivation->currentText() == FallingEdge)
            ui.grpPWM->setChecked(true);
    }
}

void AdvTriggerDialog::ApplyColorScheme()
{
    ui.lblSelectPreset->setStyleSheet(
        IsDarkPalette() ? QStringLiteral("background-color: rgba(58,147,218,255);border: 1px solid lightblue;")
                        : QStringLiteral("background-color: rgba(192,220,243,255);border: 1px solid lightblue;"));
    const QString hint = HintStyleSheet();
    for (QLabel* label : {ui.lbl_notAcquireHint, ui.lbl_noActionCommandsHint, ui.lbl_noSoftwareSignalHint,
                          ui.lbl_noCounterTimerHint})
        label->setStyleSheet(hint);
}
