#include "views/advtriggerdialog.h"

#include "features/featuremanager.h"
#include "presets/presetsfile.h"
#include "presets/settingstreemodel.h"

#include <QCoreApplication>
#include <QDoubleValidator>
#include <QSignalBlocker>

#include <cmath>

namespace {

const QString FallingEdge = QStringLiteral("FallingEdge");
const QString TimerDelay = QStringLiteral("TimerDelay");
const QString TimerDuration = QStringLiteral("TimerDuration");

// Features are in µs, the PWM fields in Hz and percent.
const double Micro = std::pow(10.0, -6.0);

// Six significant digits, as the fields show them.
QString PwmText(double value)
{
    return QStringLiteral("%1").arg(value, 0, 'g', -1, QLatin1Char(' '));
}

double Rounded(double value)
{
    return PwmText(value).toDouble();
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
    BuildLineTable(ui.tableWidget);
    AttachStatusTree(ui.treeView);
    ApplyColorScheme();

    LoadPresets(ui.cmbSelectPreset, QCoreApplication::applicationDirPath());
    // Shown as on the page, and connected only now, so it is not applied again.
    ui.cmbSelectPreset->setCurrentIndex(presetIndex);
    connect(ui.cmbSelectPreset, SIGNAL(currentIndexChanged(int)), this, SLOT(OnSelectPreset(int)));

    // The fields are parsed with a decimal point in every locale.
    auto* dutyCycle = new QDoubleValidator(0.0, 100.0, 2, this);
    auto* frequency = new QDoubleValidator(0.0, 1000000.0, 2, this);
    for (QDoubleValidator* validator : {dutyCycle, frequency})
        validator->setLocale(QLocale::c());
    ui.txtPWMDutyCycle->setValidator(dutyCycle);
    ui.txtPWMFrequency->setValidator(frequency);
    connect(ui.txtPWMDutyCycle, SIGNAL(editingFinished()), this, SLOT(calculatePWM()));
    connect(ui.txtPWMFrequency, SIGNAL(editingFinished()), this, SLOT(calculatePWM()));
    connect(ui.spbTimerDelay, SIGNAL(valueChanged(double)), this, SLOT(reverseCalcPWM()));
    connect(ui.spbTimerDuration, SIGNAL(valueChanged(double)), this, SLOT(reverseCalcPWM()));
    connect(ui.grpPWM, SIGNAL(toggled(bool)), this, SLOT(enablePWM(bool)));

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

void AdvTriggerDialog::SetCustomPreset()
{
    ui.cmbSelectPreset->setCurrentText(PresetsFile::CustomPreset);
}

void AdvTriggerDialog::calculatePWM()
{
    bool ok = false;
    const double frequency = ui.txtPWMFrequency->text().toDouble(&ok);
    if (!ok || !(frequency > 0.0))
        return;
    const double dutyCycle = ui.txtPWMDutyCycle->text().toDouble(&ok);
    if (!ok || !(dutyCycle > 0.0))
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
    ui.txtPWMFrequency->setText(PwmText(frequency));
    ui.txtPWMDutyCycle->setText(PwmText(dutyCycle));
}

void AdvTriggerDialog::enablePWM(bool on)
{
    if (!on) {
        // The fields stay silent until PWM mode comes back.
        ui.txtPWMFrequency->blockSignals(true);
        ui.txtPWMFrequency->setText(QString());
        ui.txtPWMDutyCycle->blockSignals(true);
        ui.txtPWMDutyCycle->setText(QString());
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
