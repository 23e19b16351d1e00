#include "plugin/tabextensionplugin.h"

#include "views/advtriggerwidget.h"
#include "widgets/tabextensionexception.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

const QString SignalOption = QStringLiteral("connectWidgetToSignal");
// A host with a status line names a slot taking one QString, in SLOT() form;
// the page reports there which camera access failed and why, and what the
// user's actions came to.
const QString StatusOption = QStringLiteral("connectStatusToSlot");

} // namespace

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
