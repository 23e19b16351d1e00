#include "plugin/tabextensionplugin.h"

#include "views/advtriggerwidget.h"
#include "widgets/basetabpluginwidget.h"
#include "widgets/tabextensionexception.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <string>

namespace {

const QString SignalOption = QStringLiteral("connectWidgetToSignal");
// A host with a status line names a slot taking one QString, in SLOT() form;
// the page reports there which camera access failed and why, and what the
// user's actions came to.
const QString StatusOption = QStringLiteral("connectStatusToSlot");

// Where a host finds, on a refused tab widget, why the camera was refused.
const char* const RefusalProperty = "refusalReason";

std::shared_ptr<KelCPP::Feature> Find(const CameraFeatureList& features, const QString& name)
{
    if (!features)
        return nullptr;
    for (const auto& feature : *features) {
        std::string text;
        if (feature && feature->GetName(text) == KelCPP::KelError::Success && QString::fromStdString(text) == name)
            return feature;
    }
    return nullptr;
}

} // namespace

QString TabExtensionPlugin::RefusalReason(const CameraFeatureList& features)
{
    std::string vendor;
    if (const auto feature = Find(features, QStringLiteral("DeviceVendorName")))
        feature->GetValue(vendor);
    const QString reported = QString::fromStdString(vendor);
    if (!reported.startsWith(BaseTabPluginWidget::SupportedVendor())) {
        return tr("This plug-in supports cameras of vendor %1; this camera reports %2.")
            .arg(BaseTabPluginWidget::SupportedVendor(),
                 reported.isEmpty() ? tr("no vendor") : reported);
    }
    for (const QString& name : AdvTriggerWidget::RequiredFeatures()) {
        if (!Find(features, name))
            return tr("This camera has no %1 feature.").arg(name);
    }
    return tr("This camera could not be read.");
}

int TabExtensionPlugin::CreateTabWidget(
    const QSharedPointer<QVector<std::shared_ptr<KelCPP::Feature>>>& features, QWidget* tab,
    const QMap<QString, QVariant>* options)
{
    if (!tab)
        return TENotSupported::Code; // nowhere to put a page
    try {
        // The tab widget's parent is the host object that announces streaming.
        QObject* host = tab->parent();
        const QString signal = options ? options->value(SignalOption).toString() : QString();

        auto* page = new AdvTriggerWidget(features, tab);
        if (host) {
            // The host gives the signature in SIGNAL() form; a missing or
            // wrong one only makes this connection fail.
            const std::string signature = signal.toStdString();
            connect(host, signature.c_str(), page, "1camIsStreaming(bool)", Qt::AutoConnection);
            const std::string statusSlot = (options ? options->value(StatusOption).toString() : QString()).toStdString();
            if (!statusSlot.empty()) {
                connect(page, SIGNAL(CameraAccessFailed(QString)), host, statusSlot.c_str());
                // What the user's actions came to goes to the same status line.
                connect(page, SIGNAL(StatusMessage(QString)), host, statusSlot.c_str());
            }
        }
        auto* layout = new QHBoxLayout();
        layout->addWidget(page);
        tab->setLayout(layout);

        hintLabel = new QLabel(tab);
        hintLabel->setText(tr("Please use the Advanced Trigger Dialog."));
        hintLabel->hide();
        hintLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        hintLabel->setStyleSheet(QStringLiteral("font: bold 10px;"));
        connect(page, SIGNAL(dialogWindowDisplayed(bool)), hintLabel, SLOT(setVisible(bool)));

        auto* hint = new QVBoxLayout();
        hint->addWidget(hintLabel);
        hint->addStretch();
        layout->addLayout(hint);
        return 0;
    } catch (const TabExtensionException& refusal) {
        // The host may show it instead of an empty page.
        tab->setProperty(RefusalProperty, RefusalReason(features));
        return refusal.code;
    }
}

bool TabExtensionPlugin::QueryExtension1()
{
    return false;
}

bool TabExtensionPlugin::QueryExtension2()
{
    return false;
}
