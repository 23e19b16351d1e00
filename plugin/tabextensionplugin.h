#ifndef PLUGIN_TABEXTENSIONPLUGIN_H
#define PLUGIN_TABEXTENSIONPLUGIN_H

#include "plugin/tabextensioninterface.h"

class QLabel;

// The plug-in's root object, one per process, created by qt_plugin_instance.
class TabExtensionPlugin : public TabExtensionInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "TabExtensionInterface")
    Q_INTERFACES(TabExtensionInterface)

public:
    int CreateTabWidget(const QSharedPointer<QVector<std::shared_ptr<KelCPP::Feature>>>& features,
                        QWidget* tab, const QMap<QString, QVariant>* options) override;
    // Reserved by the host; this plug-in has no extensions.
    bool QueryExtension1() override;
    bool QueryExtension2() override;

    // Why a page refuses this camera, in words a user can act on: the
    // vendor it serves against the one reported, or the feature missing.
    static QString RefusalReason(const QSharedPointer<QVector<std::shared_ptr<KelCPP::Feature>>>& features);

private:
    // The hint shown in the host's tab while the page's dialog is open; owned
    // by that tab widget. Only the most recent one is kept.
    QLabel* hintLabel = nullptr;
};

#endif
