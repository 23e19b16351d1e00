#ifndef PRESETS_SETTINGSTREEMODEL_H
#define PRESETS_SETTINGSTREEMODEL_H

#include <QMap>
#include <QObject>
#include <QStandardItemModel>
#include <QVariant>

class FeatureManager;

// The live overview of the camera's triggers, counters and timers: one bold
// group row per selector entry whose governing feature is not "Off", with
// the writable features that entry selects as children, and one "inactive"
// row for a group without any active entry.
//
// Building the tree walks each selector's entries on the camera and writes
// the selector back afterwards.
class SettingsTreeModel : public QObject
{
    Q_OBJECT

public:
    // Builds the tree at once. The manager is not owned.
    SettingsTreeModel(FeatureManager* featureManager, QObject* parent);

    QStandardItemModel* ItemModel() { return &itemModel; }
    // Empties the tree and builds it again from the camera.
    void Reload();

public slots:
    // A refreshed value: a governing feature adds or removes its group row,
    // a selector moves which rows later values go to, any other feature
    // updates its row under the currently selected entry.
    void OnFeatureChanged(const QString& featureName, const QVariant& value);

private:
    void Populate();
    void AddInstanceRow(const QString& selector, const QString& entry);
    void AppendInactiveRow(const QString& label);
    QStandardItem* FindFeatureItem(const QString& featureName) const;

    QStandardItemModel itemModel;
    FeatureManager* featureManager;
    // The entry each selector is believed to hold, for finding the rows of
    // the selected entry.
    QMap<QString, QString> currentSelectorValues;
};

#endif
