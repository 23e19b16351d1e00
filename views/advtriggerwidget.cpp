#include "views/advtriggerwidget.h"

#include "features/featuremanager.h"
#include "presets/presetsfile.h"
#include "presets/settingstreemodel.h"
#include "views/advtriggerdialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QTranslator>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString TranslationBaseName = QStringLiteral("tabextensionadvtrigger");

// The host names the tab after the accessible name of the page's parent.
void ShowTitle(QWidget* page, const QString& title)
{
    if (page->parentWidget())
        page->parentWidget()->setAccessibleName(title);
    page->setAccessibleName(title);
}

} // namespace

QStringList AdvTriggerWidget::RequiredFeatures()
{
    return {QStringLiteral("TriggerSelector"), QStringLiteral("LineSelector"), QStringLiteral("LineMode")};
}

AdvTriggerWidget::AdvTriggerWidget(const CameraFeatureList& features, QWidget* parent)
    : AdvTriggerBase(features, parent)
{
    firstShown = false;
    const QStringList required = RequiredFeatures();
    if (!std::all_of(required.begin(), required.end(),
                     [this](const QString& name) { return featureManager->HasFeature(name); })) {
        throw TENotSupported("AdvTriggerWidget::AdvTriggerWidget",
                             "camera does not support trigger, widget not created");
    }

    const QString title = tr("Trigger IO");
    ShowTitle(this, title);

    ui.setupUi(this);
    nonFeatureWidgets << QStringLiteral("cmbSelectPreset") << QStringLiteral("btnApplyPreset")
                      << QStringLiteral("btnAdvancedDialog") << QStringLiteral("lbl_notAcquireHint")
                      << QStringLiteral("chkTooltips");
    ui.lbl_notAcquireHint->hide();

    if (!title.isEmpty()) {
        QTranslator* translator = LoadTranslator(TranslationBaseName);
        if (!translator->isEmpty()) {
            // Serves every page of the process; the application ends it.
            translator->setParent(QCoreApplication::instance());
            QCoreApplication::installTranslator(translator);
        } else {
            delete translator;
        }
    }
}

AdvTriggerWidget::~AdvTriggerWidget() = default;

QTranslator* AdvTriggerWidget::LoadTranslator(const QString& baseName)
{
    auto* translator = new QTranslator();
    const QString prefix = QStringLiteral("qm/") + baseName + QLatin1Char('_');
    const QString locale = QLocale::system().name();
    // load() itself also tries shorter names (de_DE, then de).
    if (!translator->load(prefix + locale))
        translator->load(prefix + locale.left(2));
    return translator;
}

void AdvTriggerWidget::showEvent(QShowEvent* event)
{
    if (!firstShown) {
        firstShown = true;
        BindFeatureWidgets();
        BuildLineTable(ui.tableWidget);
        AttachStatusTree(ui.treeView);
        connect(ui.btnAdvancedDialog, SIGNAL(clicked()), this, SLOT(OnClickAdvancedDialog()));
        LoadPresets(ui.cmbSelectPreset, QCoreApplication::applicationDirPath());
        // Nothing chosen, and connected only now: loading applies no preset.
        ui.cmbSelectPreset->setCurrentIndex(-1);
        connect(ui.cmbSelectPreset, SIGNAL(currentIndexChanged(int)), this, SLOT(OnSelectPreset(int)));
        ui.btnTriggerFeaturesStatus->setContent(ui.frmTriggerFeaturesStatus);
        connect(ui.chkTooltips, SIGNAL(stateChanged(int)), this, SLOT(ActivateTooltips(int)));
        RegisterObservers(false);
    } else {
        // The dialog or the host may have changed anything meanwhile.
        statusModel->Reload();
    }
    BaseTabPluginWidget::showEvent(event);
}

void AdvTriggerWidget::changeEvent(QEvent* event)
{
    // The page's own translator is installed after its form was set up; the
    // language change it causes brings the texts up to date.
    if (event->type() == QEvent::LanguageChange) {
        ui.retranslateUi(this);
        statusModel->Retranslate();
        ShowTitle(this, tr("Trigger IO"));
    }
    AdvTriggerBase::changeEvent(event);
}

void AdvTriggerWidget::UpdateChangedFeatures()
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
}

void AdvTriggerWidget::ApplyColorScheme()
{
    ui.lbl_notAcquireHint->setStyleSheet(HintStyleSheet());
}

void AdvTriggerWidget::SetCustomPreset()
{
    ui.cmbSelectPreset->setCurrentText(PresetsFile::CustomPreset);
}

void AdvTriggerWidget::camIsStreaming(bool streamingIsOn)
{
    streaming = streamingIsOn;
    emit CamStreamingOn(streamingIsOn);
    ui.cmbSelectPreset->setEnabled(!streamingIsOn);
    ui.lbl_notAcquireHint->setVisible(streamingIsOn);
}

void AdvTriggerWidget::OnClickAdvancedDialog()
{
    auto* dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const QString model = featureManager->GetStringValue(QStringLiteral("DeviceModelName"));
    const QString serial = featureManager->GetStringValue(QStringLiteral("DeviceSerialNumber"));
    dialog->setWindowTitle(tr("Advanced Trigger IO") + QStringLiteral(" (%1-%2)").arg(model).arg(serial));
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* layout = new QVBoxLayout();
    const int presetIndex = ui.cmbSelectPreset->currentIndex();

    setCursor(Qt::WaitCursor);
    try {
        dialogContent = new AdvTriggerDialog(featureList, presetIndex, dialog);
    } catch (const TabExtensionException& refusal) {
        // The dialog checks the camera as the page did; a camera that no
        // longer answers as it did then (its vendor unreadable now, or gone)
        // refuses it. Nothing may leave this slot: the dialog stays closed
        // and the user learns why, without a box that waits for a click.
        delete layout;
        delete dialog;
        unsetCursor();
        ShowDialogRefusal(refusal);
        return;
    }
    connect(dialog, SIGNAL(finished(int)), this, SLOT(showTabWidget(int)));
    connect(dialogContent, SIGNAL(CameraAccessFailed(QString)), this, SIGNAL(CameraAccessFailed(QString)));
    connect(this, SIGNAL(CamStreamingOn(bool)), dialogContent, SLOT(disableContents(bool)));
    dialogContent->disableContents(streaming);
    layout->addWidget(dialogContent);
    dialog->setLayout(layout);
    // Opens over the page, on the page's screen.
    dialog->resize(dialogContent->OpeningWindowSize(screen()->availableGeometry()));

    // Two views writing the same camera would fight over its selectors: the
    // page steps aside (and stops observing) while the dialog is open.
    setVisible(false);
    emit dialogWindowDisplayed(true);
    dialog->show();
    unsetCursor();
}

void AdvTriggerWidget::ShowDialogRefusal(const TabExtensionException& refusal)
{
    const QString vendor = featureManager->GetStringValue(QStringLiteral("DeviceVendorName"));
    const QString reason = vendor.isEmpty()
        ? tr("The camera does not tell its vendor now (DeviceVendorName cannot be read), "
             "so the advanced dialog cannot check it.")
        : refusal.message;
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Advanced Trigger IO"),
                                tr("The advanced dialog could not be opened.") + QLatin1Char('\n') + reason,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    emit CameraAccessFailed(reason);
}

void AdvTriggerWidget::showTabWidget(int)
{
    setCursor(Qt::WaitCursor);
    if (dialogContent) {
        // Shows what the dialog chose without applying it a second time.
        const QSignalBlocker block(ui.cmbSelectPreset);
        ui.cmbSelectPreset->setCurrentIndex(dialogContent->PresetIndex());
    }
    setVisible(true);
    emit dialogWindowDisplayed(false);
    unsetCursor();
}
