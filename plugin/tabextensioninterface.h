#ifndef PLUGIN_TABEXTENSIONINTERFACE_H
#define PLUGIN_TABEXTENSIONINTERFACE_H

// The contract between the camera viewer and its tab plug-ins. The viewer
// and every plug-in compile this same declaration: Qt's interface cast
// compares the full identifier below.

#include <QMap>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

class QWidget;

namespace KelCPP {
class Feature;
}

class TabExtensionInterface : public QObject
{
public:
    // Builds a tab page for one camera inside `tab`, an empty widget without
    // a layout that the host shows as the tab. Options may be null; the key
    // "connectWidgetToSignal" names a host signal, in SIGNAL() form with a
    // bool first argument, that reports whether the camera streams; the
    // tab widget's parent must emit it. Returns 0, or 4 when the plug-in
    // does not serve this camera (then `tab` is left without a layout).
    virtual int CreateTabWidget(
        const QSharedPointer<QVector<std::shared_ptr<KelCPP::Feature>>>& features, QWidget* tab,
        const QMap<QString, QVariant>* options) = 0;
    virtual bool QueryExtension1() = 0;
    virtual bool QueryExtension2() = 0;
};

#define TabExtensionInterface_iid "org.triggerio.Plugin.TabExtensionInterface/1.0"
Q_DECLARE_INTERFACE(TabExtensionInterface, TabExtensionInterface_iid)

#endif
