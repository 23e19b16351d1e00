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

void SettingsTreeModel::Reload()
{
    itemModel.removeRows(0, itemModel.rowCount());
    Populate();
}

void SettingsTreeModel::Populate()
{
    for (auto it = SelectorTable.cbegin(); it != SelectorTable.cend(); ++it) {
        const QString& selector = it.key();
        const QStringList entries = featureManager->GetAvailableEntries(selector);
        const QString saved = featureManager->GetStringValue(selector);
        int active = 0;
        for (const QString& entry : entries) {
            // The selector really switches on the camera, so that the
            // governing feature and the selected features answer for this entry.
            featureManager->SetValue(selector, entry);
            if (featureManager->GetStringValue(it->governing) != Off) {
                AddInstanceRow(selector, entry);
                ++active;
            }
        }
        featureManager->SetValue(selector, saved);
        currentSelectorValues[selector] = saved;
        if (active == 0)
            AppendInactiveRow(it->label);
    }
}

void SettingsTreeModel::AddInstanceRow(const QString& selector, const QString& entry)
{
    auto* label = new QStandardItem(SelectorTable.value(selector).label);
    QFont font = label->font();
    font.setWeight(BoldWeight);
    label->setFont(font);
    itemModel.appendRow({label, new QStandardItem(entry)});

    const QString key = QStringLiteral("%1_%2").arg(selector, entry);
    for (const QString& feature : featureManager->GetSelectedFeatures(selector)) {
        const int type = featureManager->GetDataType(feature);
        if (type == TypeCommand || !featureManager->IsWritable(feature))
            continue;
        QString value;
        if (type == TypeInteger || type == TypeFloat || type == TypeBoolean)
            value = QStringLiteral("%1").arg(featureManager->GetValue(feature));
        else
            value = featureManager->GetStringValue(feature);
        auto* name = new QStandardItem(feature);
        name->setData(key, Qt::UserRole);
        label->appendRow({name, new QStandardItem(value)});
    }
}

void SettingsTreeModel::AppendInactiveRow(const QString& label)
{
    auto* item = new QStandardItem(label);
    item->setData(Inactive, Qt::UserRole);
    itemModel.appendRow({item, new QStandardItem(Inactive)});
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
            AppendInactiveRow(it->label);
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
