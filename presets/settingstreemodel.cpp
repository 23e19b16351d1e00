#include "presets/settingstreemodel.h"

#include "features/featuremanager.h"
#include "kelcpp/kelcpptypes.h"

#include <QCoreApplication>
#include <QFont>
#include <QLocale>

#include <iterator>

namespace {

struct SelectorGroup {
    QString label;
    QString governing; // the feature whose "Off" makes an entry inactive
};

// Built once when the library loads; ordered by selector name, which is
// the order the tree shows its groups in.
// The labels are English here and translated where shown.
const QMap<QString, SelectorGroup> SelectorTable = {
    {QStringLiteral("CounterSelector"),
     {QStringLiteral(QT_TRANSLATE_NOOP("SettingsTreeModel", "Counter")), QStringLiteral("CounterEventSource")}},
    {QStringLiteral("TimerSelector"),
     {QStringLiteral(QT_TRANSLATE_NOOP("SettingsTreeModel", "Timer")), QStringLiteral("TimerTriggerSource")}},
    {QStringLiteral("TriggerSelector"),
     {QStringLiteral(QT_TRANSLATE_NOOP("SettingsTreeModel", "Trigger")), QStringLiteral("TriggerMode")}},
};

const QString Off = QStringLiteral("Off");
// Marks the inactive row; what it shows is translated.
const QString Inactive = QStringLiteral("inactive");

QString Shown(const QString& text)
{
    return QCoreApplication::translate("SettingsTreeModel", text.toUtf8().constData());
}

// Data types the tree distinguishes.
constexpr int TypeInteger = KelCPP::KelFeatureDataInt;
constexpr int TypeFloat = KelCPP::KelFeatureDataFloat;
constexpr int TypeBoolean = KelCPP::KelFeatureDataBool;
constexpr int TypeCommand = KelCPP::KelFeatureDataCommand;

// QFont's bold in Qt 5's weight scale.
constexpr int BoldWeight = 75;

// What a top-level row stands for, kept apart from the texts it shows.
constexpr int SelectorRole = Qt::UserRole + 1;
constexpr int EntryRole = Qt::UserRole + 2;

// "Counter1" for an entry named after its group, else "Trigger FrameStart":
// two groups of one selector never look the same.
QString Title(const QString& selector, const QString& entry)
{
    const QString label = SelectorTable.value(selector).label;
    if (entry.isEmpty())
        return Shown(label);
    return entry.startsWith(label) ? entry : Shown(label) + QLatin1Char(' ') + entry;
}

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
        if (!group.entry.isEmpty() && itemModel.item(row, 1)->text() != group.state)
            itemModel.item(row, 1)->setText(group.state);
        UpdateFeatures(itemModel.item(row, 0), group);
    }
    if (itemModel.rowCount() > rows.size())
        itemModel.removeRows(rows.size(), itemModel.rowCount() - rows.size());
}

QList<SettingsTreeModel::GroupRow> SettingsTreeModel::ReadTree()
{
    const QList<GroupRow> shown = ShownRows();
    QList<GroupRow> rows;
    for (auto it = SelectorTable.cbegin(); it != SelectorTable.cend(); ++it) {
        const QString& selector = it.key();
        const QStringList entries = featureManager->GetAvailableEntries(selector);
        const QString saved = featureManager->GetStringValue(selector);
        entryOrder[selector] = entries;
        int active = 0;
        bool movedAway = false;
        for (const QString& entry : entries) {
            // The selector really switches on the camera, so that the
            // governing feature and the selected features answer for this
            // entry. Nothing is shown of the write: no read-back.
            const bool moved = featureManager->WriteValue(selector, entry);
            movedAway = movedAway || (moved && entry != saved);
            if (!moved && (entry != saved || movedAway)) {
                // The camera would answer for another entry: keep what the
                // tree knew of this one rather than show that one twice.
                for (const GroupRow& old : shown) {
                    if (old.selector == selector && old.entry == entry) {
                        rows.append(old);
                        ++active;
                    }
                }
                continue;
            }
            const QString state = featureManager->GetStringValue(it->governing);
            if (state != Off) {
                rows.append({selector, entry, state, ReadFeatures(selector)});
                ++active;
            }
        }
        featureManager->WriteValue(selector, saved);
        currentSelectorValues[selector] = saved;
        if (active == 0)
            rows.append({selector, QString(), QString(), {}});
    }
    return rows;
}

QString SettingsTreeModel::ValueText(const QString& feature)
{
    const int type = featureManager->GetDataType(feature);
    if (type == TypeInteger || type == TypeFloat || type == TypeBoolean) {
        // Six significant digits, with the decimal sign of the fields beside.
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale.toString(featureManager->GetValue(feature), 'g', 6);
    }
    return featureManager->GetStringValue(feature);
}

QList<QPair<QString, QString>> SettingsTreeModel::ReadFeatures(const QString& selector)
{
    QList<QPair<QString, QString>> features;
    for (const QString& feature : featureManager->GetSelectedFeatures(selector)) {
        const int type = featureManager->GetDataType(feature);
        if (type == TypeCommand || !featureManager->IsWritable(feature))
            continue;
        features.append({feature, ValueText(feature)});
    }
    return features;
}

QList<SettingsTreeModel::GroupRow> SettingsTreeModel::ShownRows() const
{
    QList<GroupRow> rows;
    for (int row = 0; row < itemModel.rowCount(); ++row) {
        const QStandardItem* label = itemModel.item(row, 0);
        GroupRow group{label->data(SelectorRole).toString(), label->data(EntryRole).toString(),
                       itemModel.item(row, 1)->text(), {}};
        for (int child = 0; child < label->rowCount(); ++child)
            group.features.append({label->child(child, 0)->text(), label->child(child, 1)->text()});
        rows.append(group);
    }
    return rows;
}

void SettingsTreeModel::RefreshOtherEntries()
{
    for (auto it = SelectorTable.cbegin(); it != SelectorTable.cend(); ++it) {
        const QString& selector = it.key();
        const QString saved = currentSelectorValues.value(selector);
        // The value items of the live features of each entry not selected.
        QList<QPair<QString, QList<QStandardItem*>>> entries;
        for (int row = 0; row < itemModel.rowCount(); ++row) {
            QStandardItem* label = itemModel.item(row, 0);
            const QString entry = label->data(EntryRole).toString();
            if (label->data(SelectorRole).toString() != selector || entry.isEmpty() || entry == saved)
                continue;
            QList<QStandardItem*> live;
            for (int child = 0; child < label->rowCount(); ++child) {
                if (featureManager->IsVolatile(label->child(child, 0)->text()))
                    live << label->child(child, 1);
            }
            if (!live.isEmpty())
                entries.append({entry, live});
        }
        if (entries.isEmpty())
            continue;
        for (const auto& [entry, live] : entries) {
            if (!featureManager->WriteValue(selector, entry))
                continue; // locked now: the row keeps its last values
            for (QStandardItem* value : live) {
                const QString text = ValueText(value->parent()->child(value->row(), 0)->text());
                if (value->text() != text)
                    value->setText(text);
            }
        }
        featureManager->WriteValue(selector, saved);
    }
}

void SettingsTreeModel::Retranslate()
{
    for (int row = 0; row < itemModel.rowCount(); ++row) {
        QStandardItem* label = itemModel.item(row, 0);
        const QString entry = label->data(EntryRole).toString();
        label->setText(Title(label->data(SelectorRole).toString(), entry));
        if (entry.isEmpty())
            itemModel.item(row, 1)->setText(Shown(Inactive));
    }
}

void SettingsTreeModel::AddInstanceRow(const QString& selector, const QString& entry)
{
    InsertSorted({selector, entry, featureManager->GetStringValue(SelectorTable.value(selector).governing),
                  ReadFeatures(selector)});
}

QPair<int, int> SettingsTreeModel::OrderOf(const QString& selector, const QString& entry) const
{
    const int position = entryOrder.value(selector).indexOf(entry);
    return {static_cast<int>(std::distance(SelectorTable.cbegin(), SelectorTable.find(selector))),
            position < 0 ? entryOrder.value(selector).size() : position};
}

void SettingsTreeModel::InsertSorted(const GroupRow& group)
{
    const auto order = OrderOf(group.selector, group.entry);
    int row = 0;
    while (row < itemModel.rowCount()) {
        const QStandardItem* label = itemModel.item(row, 0);
        if (order < OrderOf(label->data(SelectorRole).toString(), label->data(EntryRole).toString()))
            break;
        ++row;
    }
    InsertRow(row, group);
}

void SettingsTreeModel::InsertRow(int row, const GroupRow& group)
{
    auto* label = new QStandardItem(Title(group.selector, group.entry));
    label->setData(group.selector, SelectorRole);
    label->setData(group.entry, EntryRole);
    if (group.entry.isEmpty()) {
        label->setData(Inactive, Qt::UserRole);
        itemModel.insertRow(row, {label, new QStandardItem(Shown(QStringLiteral(QT_TRANSLATE_NOOP("SettingsTreeModel", "inactive"))))});
        return;
    }
    QFont font = label->font();
    font.setWeight(BoldWeight);
    label->setFont(font);
    itemModel.insertRow(row, {label, new QStandardItem(group.state)});
    UpdateFeatures(label, group);
}

bool SettingsTreeModel::Shows(int row, const GroupRow& group) const
{
    const QStandardItem* label = itemModel.item(row, 0);
    return label && label->data(SelectorRole).toString() == group.selector
           && label->data(EntryRole).toString() == group.entry;
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

int SettingsTreeModel::InactiveRow(const QString& selector) const
{
    for (int row = 0; row < itemModel.rowCount(); ++row) {
        const QStandardItem* label = itemModel.item(row, 0);
        if (label->data(SelectorRole).toString() == selector && label->data(EntryRole).toString().isEmpty())
            return row;
    }
    return -1;
}

bool SettingsTreeModel::HasGroups(const QString& selector) const
{
    for (int row = 0; row < itemModel.rowCount(); ++row) {
        if (itemModel.item(row, 0)->data(SelectorRole).toString() == selector)
            return true;
    }
    return false;
}

void SettingsTreeModel::OnFeatureChanged(const QString& featureName, const QVariant& value)
{
    for (auto it = SelectorTable.cbegin(); it != SelectorTable.cend(); ++it) {
        if (it->governing != featureName)
            continue;
        QStandardItem* row = FindFeatureItem(featureName);
        QStandardItem* group = row ? row->parent() : nullptr;
        if (value.toString() != Off) {
            if (group) {
                itemModel.item(group->row(), 1)->setText(value.toString());
                break; // already shown: update its value below
            }
            const int inactive = InactiveRow(it.key());
            if (inactive >= 0)
                itemModel.removeRow(inactive);
            AddInstanceRow(it.key(), currentSelectorValues.value(it.key()));
            return;
        }
        if (group)
            itemModel.removeRow(group->row());
        if (!HasGroups(it.key()))
            InsertSorted({it.key(), QString(), QString(), {}});
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
