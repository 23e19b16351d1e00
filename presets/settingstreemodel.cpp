#include "presets/settingstreemodel.h"

#include "features/featuremanager.h"
#include "kelcpp/kelcpptypes.h"

#include <QFont>

namespace {

struct SelectorGroup {
    QString label;
    QString governing; // the feature whose "Off" makes an entry inactive
};

// Built once when the library loads; ordered by selector name, which is
// the order the tree shows its groups in.
const QMap<QString, SelectorGroup> SelectorTable = {
    {QStringLiteral("CounterSelector"), {QStringLiteral("Counter"), QStringLiteral("CounterEventSource")}},
    {QStringLiteral("TimerSelector"), {QStringLiteral("Timer"), QStringLiteral("TimerTriggerSource")}},
    {QStringLiteral("TriggerSelector"), {QStringLiteral("Trigger"), QStringLiteral("TriggerMode")}},
};

const QString Off = QStringLiteral("Off");
const QString Inactive = QStringLiteral("inactive");

// Data types the tree distinguishes.
constexpr int TypeInteger = KelCPP::KelFeatureDataInt;
constexpr int TypeFloat = KelCPP::KelFeatureDataFloat;
constexpr int TypeBoolean = KelCPP::KelFeatureDataBool;
constexpr int TypeCommand = KelCPP::KelFeatureDataCommand;

// QFont's bold in Qt 5's weight scale.
constexpr int BoldWeight = 75;

} // namespace

SettingsTreeModel::SettingsTreeModel(FeatureManager* manager, QObject* parent)
    : QObject(parent), featureManager(manager)
{
    Populate();
}

void SettingsTreeModel::Populate()
{
    const QList<GroupRow> rows = ReadTree();
    for (const GroupRow& group : rows)
        InsertRow(itemModel.rowCount(), group);
}

void SettingsTreeModel::Reload()
{
    const QList<GroupRow> rows = ReadTree();
    for (int row = 0; row < rows.size(); ++row) {
        const GroupRow& group = rows.at(row);
        int found = row;
        while (found < itemModel.rowCount() && !Shows(found, group))
            ++found;
        if (found == itemModel.rowCount()) {
            InsertRow(row, group);
            continue;
        }
        if (found != row)
            itemModel.insertRow(row, itemModel.takeRow(found));
        UpdateFeatures(itemModel.item(row, 0), group);
    }
    if (itemModel.rowCount() > rows.size())
        itemModel.removeRows(rows.size(), itemModel.rowCount() - rows.size());
}

QList<SettingsTreeModel::GroupRow> SettingsTreeModel::ReadTree()
{
    QList<GroupRow> rows;
    for (auto it = SelectorTable.cbegin(); it != SelectorTable.cend(); ++it) {
        const QString& selector = it.key();
        const QStringList entries = featureManager->GetAvailableEntries(selector);
        const QString saved = featureManager->GetStringValue(selector);
        int active = 0;
        for (const QString& entry : entries) {
            // The selector really switches on the camera, so that the
            // governing feature and the selected features answer for this
            // entry. Nothing is shown of the write: no read-back.
            featureManager->WriteValue(selector, entry);
            if (featureManager->GetStringValue(it->governing) != Off) {
                rows.append({selector, entry, ReadFeatures(selector)});
                ++active;
            }
        }
        featureManager->WriteValue(selector, saved);
        currentSelectorValues[selector] = saved;
        if (active == 0)
            rows.append({selector, QString(), {}});
    }
    return rows;
}

QList<QPair<QString, QString>> SettingsTreeModel::ReadFeatures(const QString& selector)
{
    QList<QPair<QString, QString>> features;
    for (const QString& feature : featureManager->GetSelectedFeatures(selector)) {
        const int type = featureManager->GetDataType(feature);
        if (type == TypeCommand || !featureManager->IsWritable(feature))
            continue;
        if (type == TypeInteger || type == TypeFloat || type == TypeBoolean)
            features.append({feature, QStringLiteral("%1").arg(featureManager->GetValue(feature))});
        else
            features.append({feature, featureManager->GetStringValue(feature)});
    }
    return features;
}

void SettingsTreeModel::AddInstanceRow(const QString& selector, const QString& entry)
{
    InsertRow(itemModel.rowCount(), {selector, entry, ReadFeatures(selector)});
}

void SettingsTreeModel::InsertRow(int row, const GroupRow& group)
{
    auto* label = new QStandardItem(SelectorTable.value(group.selector).label);
    if (group.entry.isEmpty()) {
        label->setData(Inactive, Qt::UserRole);
        itemModel.insertRow(row, {label, new QStandardItem(Inactive)});
        return;
    }
    QFont font = label->font();
    font.setWeight(BoldWeight);
    label->setFont(font);
    itemModel.insertRow(row, {label, new QStandardItem(group.entry)});
    UpdateFeatures(label, group);
}

bool SettingsTreeModel::Shows(int row, const GroupRow& group) const
{
    const QStandardItem* label = itemModel.item(row, 0);
    const QStandardItem* value = itemModel.item(row, 1);
    if (!label || !value || label->text() != SelectorTable.value(group.selector).label)
        return false;
    if (group.entry.isEmpty())
        return label->data(Qt::UserRole).toString() == Inactive;
    return label->data(Qt::UserRole).isNull() && value->text() == group.entry;
}

void SettingsTreeModel::UpdateFeatures(QStandardItem* label, const GroupRow& group)
{
    const QString key = QStringLiteral("%1_%2").arg(group.selector, group.entry);
    bool same = label->rowCount() == group.features.size();
    for (int i = 0; same && i < group.features.size(); ++i)
        same = label->child(i, 0)->text() == group.features.at(i).first;
    if (!same) {
        label->removeRows(0, label->rowCount());
        for (const auto& [feature, value] : group.features) {
            auto* name = new QStandardItem(feature);
            name->setData(key, Qt::UserRole);
            label->appendRow({name, new QStandardItem(value)});
        }
        return;
    }
    for (int i = 0; i < group.features.size(); ++i) {
        QStandardItem* value = label->child(i, 1);
        if (value->text() != group.features.at(i).second)
            value->setText(group.features.at(i).second);
    }
}

QStandardItem* SettingsTreeModel::FindFeatureItem(const QString& featureName) const
{
    const auto items = itemModel.findItems(featureName, Qt::MatchExactly | Qt::MatchRecursive, 0);
    for (QStandardItem* item : items) {
        const QString key = item->data(Qt::UserRole).toString();
        const QString selector = key.split(QLatin1Char('_')).first();
        if (key == QStringLiteral("%1_%2").arg(selector, currentSelectorValues.value(selector)))
            return item;
    }
    return nullptr;
}

void SettingsTreeModel::OnFeatureChanged(const QString& featureName, const QVariant& value)
{
    for (auto it = SelectorTable.cbegin(); it != SelectorTable.cend(); ++it) {
        if (it->governing != featureName)
            continue;
        QStandardItem* row = FindFeatureItem(featureName);
        if (value.toString() != Off) {
            if (row)
                break; // already shown: update its value below
            AddInstanceRow(it.key(), currentSelectorValues.value(it.key()));
            const auto labels = itemModel.findItems(it->label, Qt::MatchExactly, 0);
            if (!labels.isEmpty() && labels.first()->data(Qt::UserRole).toString() == Inactive)
                itemModel.removeRow(labels.first()->row());
            return;
        }
        if (row) {
            QStandardItem* group = row->parent();
            itemModel.removeRow(group ? group->row() : row->row());
        }
        if (itemModel.findItems(it->label, Qt::MatchExactly, 0).isEmpty())
            InsertRow(itemModel.rowCount(), {it.key(), QString(), {}});
        return;
    }

    if (SelectorTable.contains(featureName)) {
        currentSelectorValues[featureName] = featureManager->GetStringValue(featureName);
        return;
    }

    QStandardItem* item = FindFeatureItem(featureName);
    if (!item)
        return;
    QStandardItem* parent = item->parent();
    QStandardItem* valueItem = parent ? parent->child(item->row(), 1)
                                      : itemModel.item(item->row(), 1);
    if (valueItem)
        valueItem->setData(value, Qt::DisplayRole);
}
