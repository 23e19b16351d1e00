#ifndef PRESETS_SETTINGSTREEMODEL_H
#define PRESETS_SETTINGSTREEMODEL_H

#include <QMap>
#include <QList>
#include <QObject>
#include <QPair>
#include <QStandardItemModel>
#include <QVariant>

class FeatureManager;

// The live overview of the camera's triggers, counters and timers: one bold
// group row per selector entry whose governing feature is not "Off", named
// after its entry ("Counter1", "Trigger FrameStart") with the governing
// feature's value beside it and the writable features that entry selects
// as children; and one "inactive" row for a group without any active entry.
//
// Building the tree walks each selector's entries on the camera and writes
// the selector back afterwards. Rows always stand in selector order, then
// in the order of the selector's entries, however they came: rows that stay
// keep their place and their expansion. An entry the camera will not switch
// to now (its selector is locked while it streams) keeps the row it had.
class SettingsTreeModel : public QObject
{
    Q_OBJECT

public:
    // Builds the tree at once. The manager is not owned.
    SettingsTreeModel(FeatureManager* featureManager, QObject* parent);

    QStandardItemModel* ItemModel() { return &itemModel; }
    // Brings the whole tree up to date from the camera.
    void Reload();
    // The group labels again, in the language installed now.
    void Retranslate();
    // Values the camera changes by itself (counter and timer values) of the
    // entries their selectors do not hold now: walks those selectors. The
    // selected entries' values come through OnFeatureChanged.
    void RefreshOtherEntries();

public slots:
    // A refreshed value: a governing feature adds or removes its group row,
    // a selector moves which rows later values go to, any other feature
    // updates its row under the currently selected entry.
    void OnFeatureChanged(const QString& featureName, const QVariant& value);

private:
    // One top-level row as the camera has it: a group of an active entry
    // with its features and value texts, or a group's inactive row.
    struct GroupRow {
        QString selector;
        QString entry; // empty for the inactive row
        QString state; // the governing feature's value
        QList<QPair<QString, QString>> features;
    };

    // Walks every selector of the table on the camera.
    QList<GroupRow> ReadTree();
    // The rows of the entry the camera's selector holds now.
    QList<QPair<QString, QString>> ReadFeatures(const QString& selector);
    QString ValueText(const QString& feature);
    // The top-level rows as they are shown.
    QList<GroupRow> ShownRows() const;
    void Populate();
    void AddInstanceRow(const QString& selector, const QString& entry);
    // Inserts a group where selector and entry order put it.
    void InsertSorted(const GroupRow& group);
    void InsertRow(int row, const GroupRow& group);
    bool Shows(int row, const GroupRow& group) const;
    void UpdateFeatures(QStandardItem* label, const GroupRow& group);
    QStandardItem* FindFeatureItem(const QString& featureName) const;
    // The row of a selector's inactive row, or -1.
    int InactiveRow(const QString& selector) const;
    bool HasGroups(const QString& selector) const;
    // Selector and entry order of a group, for sorting.
    QPair<int, int> OrderOf(const QString& selector, const QString& entry) const;

    QStandardItemModel itemModel;
    FeatureManager* featureManager;
    // The entry each selector is believed to hold, for finding the rows of
    // the selected entry.
    QMap<QString, QString> currentSelectorValues;
    // Each selector's entries as the last walk found them.
    QMap<QString, QStringList> entryOrder;
};

#endif
