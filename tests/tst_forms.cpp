#include "views/collapsingbutton.h"
#include "views/forms.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

// Where an object of a form sits: the layout holding it and its cell there (a
// box layout's index as the row), or, for a layout set on a widget and for a
// scroll area's contents, the widget holding it.
struct Entry
{
    const char* name;
    const char* className;
    const char* placedIn;
    int row;
    int column;
    int rowSpan;
    int columnSpan;
};

const Entry pageEntries[] = {
    {"verticalLayout_2", "QVBoxLayout", "AdvTriggerWidget", 0, 0, 1, 1},
    {"scrollArea", "QScrollArea", "verticalLayout_2", 0, 0, 1, 1},
    {"scrollAreaWidgetContents", "QWidget", "scrollArea", 0, 0, 1, 1},
    {"verticalLayout", "QVBoxLayout", "scrollAreaWidgetContents", 0, 0, 1, 1},
    {"lbl_notAcquireHint", "QLabel", "verticalLayout", 0, 0, 1, 1},
    {"horizontalLayout_2", "QHBoxLayout", "verticalLayout", 1, 0, 1, 1},
    {"lblSelectPreset", "QLabel", "horizontalLayout_2", 0, 0, 1, 1},
    {"cmbSelectPreset", "QComboBox", "horizontalLayout_2", 1, 0, 1, 1},
    {"chkTooltips", "QCheckBox", "horizontalLayout_2", 2, 0, 1, 1},
    {"grpTrigger", "QGroupBox", "verticalLayout", 2, 0, 1, 1},
    {"gridLayout", "QGridLayout", "grpTrigger", 0, 0, 1, 1},
    {"lblTriggerSource", "QLabel", "gridLayout", 0, 0, 1, 1},
    {"cmbTriggerSource", "QComboBox", "gridLayout", 0, 1, 1, 1},
    {"lblTriggerActivation", "QLabel", "gridLayout", 0, 3, 1, 1},
    {"cmbTriggerActivation", "QComboBox", "gridLayout", 0, 4, 1, 1},
    {"lblTriggerSelector", "QLabel", "gridLayout", 1, 0, 1, 1},
    {"cmbTriggerSelector", "QComboBox", "gridLayout", 1, 1, 1, 1},
    {"lblTriggerMode", "QLabel", "gridLayout", 1, 3, 1, 1},
    {"cmbTriggerMode", "QComboBox", "gridLayout", 1, 4, 1, 1},
    {"lblTriggerDelay", "QLabel", "gridLayout", 2, 0, 1, 1},
    {"spbTriggerDelay", "QDoubleSpinBox", "gridLayout", 2, 1, 1, 1},
    {"btnTriggerSoftware", "QPushButton", "gridLayout", 2, 4, 1, 1},
    {"grpAdvancedDialog", "QGroupBox", "verticalLayout", 3, 0, 1, 1},
    {"horizontalLayout", "QHBoxLayout", "grpAdvancedDialog", 0, 0, 1, 1},
    {"label", "QLabel", "horizontalLayout", 0, 0, 1, 1},
    {"btnAdvancedDialog", "QPushButton", "horizontalLayout", 2, 0, 1, 1},
    {"grpInputOutput", "QGroupBox", "verticalLayout", 4, 0, 1, 1},
    {"horizontalLayout_5", "QHBoxLayout", "grpInputOutput", 0, 0, 1, 1},
    {"tableWidget", "QTableWidget", "horizontalLayout_5", 0, 0, 1, 1},
    {"btnTriggerFeaturesStatus", "CollapsingButton", "verticalLayout", 5, 0, 1, 1},
    {"frmTriggerFeaturesStatus", "QFrame", "verticalLayout", 6, 0, 1, 1},
    {"horizontalLayout_4", "QHBoxLayout", "frmTriggerFeaturesStatus", 0, 0, 1, 1},
    {"treeView", "QTreeView", "horizontalLayout_4", 0, 0, 1, 1},
};

const Entry dialogEntries[] = {
    {"horizontalLayout_2", "QHBoxLayout", "AdvTriggerDialog", 0, 0, 1, 1},
    {"scrollArea", "QScrollArea", "horizontalLayout_2", 0, 0, 1, 1},
    {"scrollAreaWidgetContents", "QWidget", "scrollArea", 0, 0, 1, 1},
    {"gridLayout_8", "QGridLayout", "scrollAreaWidgetContents", 0, 0, 1, 1},
    {"scrollArea_2", "QScrollArea", "horizontalLayout_2", 1, 0, 1, 1},
    {"scrollAreaWidgetContents_2", "QWidget", "scrollArea_2", 0, 0, 1, 1},
    {"verticalLayout_4", "QVBoxLayout", "scrollAreaWidgetContents_2", 0, 0, 1, 1},
    {"label_3", "QLabel", "verticalLayout_4", 0, 0, 1, 1},
    {"treeView", "QTreeView", "verticalLayout_4", 1, 0, 1, 1},
    {"lbl_notAcquireHint", "QLabel", "gridLayout_8", 0, 0, 1, 1},
    {"horizontalLayout", "QHBoxLayout", "gridLayout_8", 1, 0, 1, 1},
    {"lblSelectPreset", "QLabel", "horizontalLayout", 0, 0, 1, 1},
    {"cmbSelectPreset", "QComboBox", "horizontalLayout", 1, 0, 1, 1},
    {"chkTooltips", "QCheckBox", "horizontalLayout", 2, 0, 1, 1},
    {"btnConfigureTriggerSources", "CollapsingButton", "gridLayout_8", 2, 0, 1, 1},
    {"frmConfigureTriggerSources", "QFrame", "gridLayout_8", 3, 0, 1, 1},
    {"gridLayout", "QGridLayout", "frmConfigureTriggerSources", 0, 0, 1, 1},
    {"lblTriggerSource", "QLabel", "gridLayout", 0, 0, 1, 1},
    {"cmbTriggerSource", "QComboBox", "gridLayout", 0, 1, 1, 1},
    {"lblTriggerActivation", "QLabel", "gridLayout", 0, 3, 1, 1},
    {"cmbTriggerActivation", "QComboBox", "gridLayout", 0, 4, 1, 1},
    {"lblTriggerSelector", "QLabel", "gridLayout", 1, 0, 1, 1},
    {"cmbTriggerSelector", "QComboBox", "gridLayout", 1, 1, 1, 1},
    {"lblTriggerMode", "QLabel", "gridLayout", 1, 3, 1, 1},
    {"cmbTriggerMode", "QComboBox", "gridLayout", 1, 4, 1, 1},
    {"lblTriggerDelay", "QLabel", "gridLayout", 2, 0, 1, 1},
    {"spbTriggerDelay", "QDoubleSpinBox", "gridLayout", 2, 1, 1, 1},
    {"btnTriggerSoftware", "QPushButton", "gridLayout", 2, 4, 1, 1},
    {"btnConfigureInputOutput", "CollapsingButton", "gridLayout_8", 4, 0, 1, 1},
    {"frmConfigureInputOutput", "QFrame", "gridLayout_8", 5, 0, 1, 1},
    {"horizontalLayout_3", "QHBoxLayout", "frmConfigureInputOutput", 0, 0, 1, 1},
    {"tableWidget", "QTableWidget", "horizontalLayout_3", 1, 0, 1, 1},
    {"btnConfigureAcquisitionMode", "CollapsingButton", "gridLayout_8", 6, 0, 1, 1},
    {"frmConfigureAcquisitionMode", "QFrame", "gridLayout_8", 7, 0, 1, 1},
    {"gridLayout_2", "QGridLayout", "frmConfigureAcquisitionMode", 0, 0, 1, 1},
    {"lblAcquisitionMode", "QLabel", "gridLayout_2", 0, 0, 1, 1},
    {"cmbAcquisitionMode", "QComboBox", "gridLayout_2", 0, 1, 1, 1},
    {"horizontalLayout_5", "QHBoxLayout", "gridLayout_2", 0, 3, 1, 1},
    {"lblAcquisitionFrameCount", "QLabel", "horizontalLayout_5", 0, 0, 1, 1},
    {"spbAcquisitionFrameCount", "QSpinBox", "horizontalLayout_5", 1, 0, 1, 1},
    {"lblExposureMode", "QLabel", "gridLayout_2", 1, 0, 1, 1},
    {"cmbExposureMode", "QComboBox", "gridLayout_2", 1, 1, 1, 1},
    {"line_6", "QFrame", "gridLayout_8", 8, 0, 1, 1},
    {"gridLayout_7", "QGridLayout", "gridLayout_8", 9, 0, 1, 1},
    {"btnConfigureActionCommand", "CollapsingButton", "gridLayout_7", 0, 0, 1, 1},
    {"lbl_noActionCommandsHint", "QLabel", "gridLayout_7", 0, 1, 1, 1},
    {"frmActionCommand", "QFrame", "gridLayout_8", 10, 0, 1, 1},
    {"gridLayout_5", "QGridLayout", "frmActionCommand", 0, 0, 1, 1},
    {"lblActionDeviceKey", "QLabel", "gridLayout_5", 1, 0, 1, 1},
    {"txtActionDeviceKey", "QLineEdit", "gridLayout_5", 1, 1, 1, 1},
    {"lblActionSelector", "QLabel", "gridLayout_5", 2, 0, 1, 1},
    {"spbActionSelector", "QSpinBox", "gridLayout_5", 2, 1, 1, 1},
    {"lblActionGroupKey", "QLabel", "gridLayout_5", 2, 3, 1, 1},
    {"txtActionGroupKey", "QLineEdit", "gridLayout_5", 2, 4, 1, 1},
    {"lblActionQueueSize", "QLabel", "gridLayout_5", 3, 0, 1, 1},
    {"txtActionQueueSize", "QLineEdit", "gridLayout_5", 3, 1, 1, 1},
    {"lblActionGroupMask", "QLabel", "gridLayout_5", 3, 3, 1, 1},
    {"txtActionGroupMask", "QLineEdit", "gridLayout_5", 3, 4, 1, 1},
    {"line_4", "QFrame", "gridLayout_5", 4, 0, 1, 5},
    {"chkPtpEnable", "QCheckBox", "gridLayout_5", 5, 0, 1, 1},
    {"lblPtpClockAccuracy", "QLabel", "gridLayout_5", 5, 3, 1, 1},
    {"txtPtpClockAccuracy", "QLineEdit", "gridLayout_5", 5, 4, 1, 1},
    {"lblPtpOperationMode", "QLabel", "gridLayout_5", 6, 0, 1, 1},
    {"cmbPtpOperationMode", "QComboBox", "gridLayout_5", 6, 1, 1, 1},
    {"lblPtpClockID", "QLabel", "gridLayout_5", 6, 3, 1, 1},
    {"txtPtpClockID", "QLineEdit", "gridLayout_5", 6, 4, 1, 1},
    {"lblPtpOffsetFromMaster", "QLabel", "gridLayout_5", 7, 0, 1, 1},
    {"txtPtpOffsetFromMaster", "QLineEdit", "gridLayout_5", 7, 1, 1, 1},
    {"lblPtpGrandmasterClockID", "QLabel", "gridLayout_5", 7, 3, 1, 1},
    {"txtPtpGrandmasterClockID", "QLineEdit", "gridLayout_5", 7, 4, 1, 1},
    {"lblPtpServoStatus", "QLabel", "gridLayout_5", 8, 0, 1, 1},
    {"txtPtpServoStatus", "QLineEdit", "gridLayout_5", 8, 1, 1, 1},
    {"lblPtpParentClockID", "QLabel", "gridLayout_5", 8, 3, 1, 1},
    {"txtPtpParentClockID", "QLineEdit", "gridLayout_5", 8, 4, 1, 1},
    {"lblPtpStatus", "QLabel", "gridLayout_5", 9, 0, 1, 1},
    {"txtPtpStatus", "QLineEdit", "gridLayout_5", 9, 1, 1, 1},
    {"btnPtpDataSetLatch", "QPushButton", "gridLayout_5", 9, 4, 1, 1},
    {"line_5", "QFrame", "gridLayout_5", 10, 0, 1, 5},
    {"lblTimestampLatchValue", "QLabel", "gridLayout_5", 11, 0, 1, 1},
    {"txtTimestampLatchValue", "QLineEdit", "gridLayout_5", 11, 1, 1, 1},
    {"btnTimestampLatch", "QPushButton", "gridLayout_5", 11, 4, 1, 1},
    {"horizontalLayout_9", "QHBoxLayout", "gridLayout_8", 11, 0, 1, 1},
    {"btnConfigureSoftwareSignal", "CollapsingButton", "horizontalLayout_9", 0, 0, 1, 1},
    {"lbl_noSoftwareSignalHint", "QLabel", "horizontalLayout_9", 1, 0, 1, 1},
    {"frmSoftwareSignal", "QFrame", "gridLayout_8", 12, 0, 1, 1},
    {"horizontalLayout_6", "QHBoxLayout", "frmSoftwareSignal", 0, 0, 1, 1},
    {"lblSoftwareSignalSelector", "QLabel", "horizontalLayout_6", 0, 0, 1, 1},
    {"cmbSoftwareSignalSelector", "QComboBox", "horizontalLayout_6", 1, 0, 1, 1},
    {"btnSoftwareSignalPulse", "QPushButton", "horizontalLayout_6", 3, 0, 1, 1},
    {"horizontalLayout_8", "QHBoxLayout", "gridLayout_8", 13, 0, 1, 1},
    {"btnConfigureCounterTimer", "CollapsingButton", "horizontalLayout_8", 0, 0, 1, 1},
    {"lbl_noCounterTimerHint", "QLabel", "horizontalLayout_8", 1, 0, 1, 1},
    {"frmCounterTimer", "QFrame", "gridLayout_8", 14, 0, 1, 1},
    {"verticalLayout_2", "QVBoxLayout", "frmCounterTimer", 0, 0, 1, 1},
    {"grpCounter", "QGroupBox", "verticalLayout_2", 0, 0, 1, 1},
    {"gridLayout_3", "QGridLayout", "grpCounter", 0, 0, 1, 1},
    {"lblCounterSelector", "QLabel", "gridLayout_3", 0, 0, 1, 1},
    {"cmbCounterSelector", "QComboBox", "gridLayout_3", 0, 2, 1, 1},
    {"lblCounterEventSource", "QLabel", "gridLayout_3", 1, 0, 1, 1},
    {"cmbCounterEventSource", "QComboBox", "gridLayout_3", 1, 2, 1, 1},
    {"lblCounterDuration", "QLabel", "gridLayout_3", 1, 4, 1, 1},
    {"spbCounterDuration", "QDoubleSpinBox", "gridLayout_3", 1, 5, 1, 1},
    {"lblCounterEventActivation", "QLabel", "gridLayout_3", 2, 0, 1, 1},
    {"cmbCounterEventActivation", "QComboBox", "gridLayout_3", 2, 2, 1, 1},
    {"lblCounterValue", "QLabel", "gridLayout_3", 2, 4, 1, 1},
    {"spbCounterValue", "QDoubleSpinBox", "gridLayout_3", 2, 5, 1, 1},
    {"line_3", "QFrame", "gridLayout_3", 3, 0, 1, 1},
    {"label_2", "QLabel", "gridLayout_3", 3, 1, 1, 2},
    {"line", "QFrame", "gridLayout_3", 3, 4, 1, 2},
    {"lblCounterTriggerSource", "QLabel", "gridLayout_3", 4, 0, 1, 1},
    {"cmbCounterTriggerSource", "QComboBox", "gridLayout_3", 4, 2, 1, 1},
    {"lblCounterResetSource", "QLabel", "gridLayout_3", 4, 4, 1, 1},
    {"cmbCounterResetSource", "QComboBox", "gridLayout_3", 4, 5, 1, 1},
    {"lblCounterTriggerActivation", "QLabel", "gridLayout_3", 5, 0, 1, 1},
    {"cmbCounterTriggerActivation", "QComboBox", "gridLayout_3", 5, 2, 1, 1},
    {"lblCounterResetActivation", "QLabel", "gridLayout_3", 5, 4, 1, 1},
    {"cmbCounterResetActivation", "QComboBox", "gridLayout_3", 5, 5, 1, 1},
    {"line_2", "QFrame", "gridLayout_3", 6, 0, 1, 6},
    {"lblCounterStatus", "QLabel", "gridLayout_3", 7, 0, 1, 1},
    {"txtCounterStatus", "QLineEdit", "gridLayout_3", 7, 2, 1, 1},
    {"lblCounterValueAtReset", "QLabel", "gridLayout_3", 8, 0, 1, 2},
    {"txtCounterValueAtReset", "QLineEdit", "gridLayout_3", 8, 2, 1, 1},
    {"horizontalLayout_4", "QHBoxLayout", "gridLayout_3", 8, 5, 1, 1},
    {"btnCounterReset", "QPushButton", "horizontalLayout_4", 1, 0, 1, 1},
    {"groupBox", "QGroupBox", "verticalLayout_2", 2, 0, 1, 1},
    {"gridLayout_6", "QGridLayout", "groupBox", 0, 0, 1, 1},
    {"lblTimerSelector", "QLabel", "gridLayout_6", 0, 0, 1, 1},
    {"cmbTimerSelector", "QComboBox", "gridLayout_6", 0, 1, 1, 1},
    {"lblTimerTriggerSource", "QLabel", "gridLayout_6", 1, 0, 1, 1},
    {"cmbTimerTriggerSource", "QComboBox", "gridLayout_6", 1, 1, 1, 1},
    {"lblTimerDelay", "QLabel", "gridLayout_6", 1, 3, 1, 1},
    {"spbTimerDelay", "QDoubleSpinBox", "gridLayout_6", 1, 4, 1, 1},
    {"lblTimerTriggerActivation", "QLabel", "gridLayout_6", 2, 0, 1, 1},
    {"cmbTimerTriggerActivation", "QComboBox", "gridLayout_6", 2, 1, 1, 1},
    {"lblTimerDuration", "QLabel", "gridLayout_6", 2, 3, 1, 1},
    {"spbTimerDuration", "QDoubleSpinBox", "gridLayout_6", 2, 4, 1, 1},
    {"grpPWM", "QGroupBox", "gridLayout_6", 3, 0, 1, 5},
    {"gridLayout_4", "QGridLayout", "grpPWM", 0, 0, 1, 1},
    {"lblPWMFrequency", "QLabel", "gridLayout_4", 0, 0, 1, 1},
    {"txtPWMFrequency", "QLineEdit", "gridLayout_4", 0, 1, 1, 1},
    {"label", "QLabel", "gridLayout_4", 0, 3, 1, 1},
    {"txtPWMDutyCycle", "QLineEdit", "gridLayout_4", 0, 4, 1, 1},
    {"lblTimerStatus", "QLabel", "gridLayout_6", 4, 0, 1, 1},
    {"txtTimerStatus", "QLineEdit", "gridLayout_6", 4, 1, 1, 1},
    {"horizontalLayout_7", "QHBoxLayout", "gridLayout_6", 4, 4, 1, 1},
    {"btnTimerReset", "QPushButton", "horizontalLayout_7", 1, 0, 1, 1},
};

template <std::size_t N>
QVector<Entry> Entries(const Entry (&entries)[N])
{
    return QVector<Entry>(entries, entries + N);
}

QVector<Entry> EntriesOf(const QString& form)
{
    return form == QLatin1String("page") ? Entries(pageEntries) : Entries(dialogEntries);
}

std::unique_ptr<QWidget> SetUp(const QString& form)
{
    auto root = std::make_unique<QWidget>();
    if (form == QLatin1String("page"))
        Ui::AdvTriggerWidget().setupUi(root.get());
    else
        Ui::AdvTriggerDialog().setupUi(root.get());
    return root;
}

QObject* Find(QWidget* root, const QString& name)
{
    return root->objectName() == name ? root : root->findChild<QObject*>(name);
}

// "container row column rowSpan columnSpan", see Entry.
QString PlacementOf(QWidget* root, QObject* object)
{
    for (QLayout* layout : root->findChildren<QLayout*>()) {
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem* item = layout->itemAt(i);
            if (item->widget() != object && item->layout() != object)
                continue;
            int row = i, column = 0, rowSpan = 1, columnSpan = 1;
            if (auto* grid = qobject_cast<QGridLayout*>(layout))
                grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
            return QStringLiteral("%1 %2 %3 %4 %5")
                .arg(layout->objectName()).arg(row).arg(column).arg(rowSpan).arg(columnSpan);
        }
    }
    if (auto* layout = qobject_cast<QLayout*>(object))
        return layout->parentWidget()->objectName() + QStringLiteral(" 0 0 1 1");
    for (QScrollArea* area : root->findChildren<QScrollArea*>()) {
        if (area->widget() == object)
            return area->objectName() + QStringLiteral(" 0 0 1 1");
    }
    return QString();
}

// Where keyboard focus goes for each named widget, in focus-chain order. A
// spin box hands its focus to its line edit, which is what the chain moves.
QStringList TabOrder(QWidget* root, const QStringList& names)
{
    QHash<QWidget*, QString> stops;
    for (const QString& name : names) {
        auto* widget = root->findChild<QWidget*>(name);
        if (widget)
            stops.insert(widget->focusProxy() ? widget->focusProxy() : widget, name);
    }
    QStringList order;
    for (QWidget* w = root->nextInFocusChain(); w != root; w = w->nextInFocusChain()) {
        if (stops.contains(w))
            order.append(stops.value(w));
    }
    return order;
}

// Feature names of the widgets that feature binding picks up: the bound
// classes, minus the spin boxes' own editors and the view's non-feature names.
QStringList BoundFeatures(QWidget* root, const QStringList& nonFeatureWidgets)
{
    QList<QWidget*> widgets;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w)
            || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QCheckBox*>(w)
            || qobject_cast<QPushButton*>(w))
            widgets.append(w);
    }
    QStringList features;
    for (QWidget* w : widgets) {
        const QString name = w->objectName();
        if (name != QLatin1String("qt_spinbox_lineedit") && !nonFeatureWidgets.contains(name))
            features.append(name.mid(3));
    }
    features.sort();
    return features;
}

// Every spacer of the form's layouts as "layout row column widthxheight
// horizontal/vertical policy". Unnamed layouts are Qt's own (a combo box
// adjusting to its contents builds its popup, which has spacers).
QStringList Spacers(QWidget* root)
{
    const QMetaEnum policy = QMetaEnum::fromType<QSizePolicy::Policy>();
    QStringList spacers;
    for (QLayout* layout : root->findChildren<QLayout*>()) {
        if (layout->objectName().isEmpty())
            continue;
        for (int i = 0; i < layout->count(); ++i) {
            QSpacerItem* spacer = layout->itemAt(i)->spacerItem();
            if (!spacer)
                continue;
            int row = i, column = 0, rowSpan, columnSpan;
            if (auto* grid = qobject_cast<QGridLayout*>(layout))
                grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
            spacers.append(QStringLiteral("%1 %2 %3 %4x%5 %6/%7")
                               .arg(layout->objectName()).arg(row).arg(column)
                               .arg(spacer->sizeHint().width()).arg(spacer->sizeHint().height())
                               .arg(QLatin1String(policy.valueToKey(spacer->sizePolicy().horizontalPolicy())))
                               .arg(QLatin1String(policy.valueToKey(spacer->sizePolicy().verticalPolicy()))));
        }
    }
    spacers.sort();
    return spacers;
}

// Answers every lookup with the source text marked, remembering the contexts.
class RecordingTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        contexts.insert(QString::fromLatin1(context));
        return QStringLiteral("T:") + QString::fromUtf8(sourceText);
    }
    bool isEmpty() const override { return false; }

    mutable QSet<QString> contexts;
};

const QString hintStyle = QStringLiteral("color : rgb(0, 85, 127);");

} // namespace

class TestForms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void objectHasClassAndPlace_data();
    void objectHasClassAndPlace();
    void formHasNoOtherNamedObjects_data();
    void formHasNoOtherNamedObjects();
    void boundWidgetsNameTheFeatures_data();
    void boundWidgetsNameTheFeatures();
    void tabOrder_data();
    void tabOrder();
    void property_data();
    void property();
    void spacers_data();
    void spacers();
    void tableHeaders_data();
    void tableHeaders();
    void textsAreTranslatedInTheFormsContext_data();
    void textsAreTranslatedInTheFormsContext();
    void pageGridIsCreatedInDesignerOrder();
    void pageTableCellHasNormalWeight();

private:
    QWidget* Form(const QString& form) { return forms.value(form).get(); }

    QMap<QString, std::shared_ptr<QWidget>> forms;
};

void TestForms::initTestCase()
{
    forms.insert(QStringLiteral("page"), SetUp(QStringLiteral("page")));
    forms.insert(QStringLiteral("dialog"), SetUp(QStringLiteral("dialog")));
}

void TestForms::cleanupTestCase()
{
    forms.clear();
}

void TestForms::objectHasClassAndPlace_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("placement");

    for (const char* form : {"page", "dialog"}) {
        for (const Entry& e : EntriesOf(QLatin1String(form))) {
            QTest::addRow("%s: %s", form, e.name)
                << QString::fromLatin1(form) << QString::fromLatin1(e.name) << QString::fromLatin1(e.className)
                << QStringLiteral("%1 %2 %3 %4 %5").arg(QLatin1String(e.placedIn)).arg(e.row)
                       .arg(e.column).arg(e.rowSpan).arg(e.columnSpan);
        }
    }
}

void TestForms::objectHasClassAndPlace()
{
    QFETCH(QString, form);
    QFETCH(QString, name);
    QFETCH(QString, className);
    QWidget* root = Form(form);

    const QList<QObject*> found = root->findChildren<QObject*>(name);
    QCOMPARE(found.size(), 1);
    QObject* object = found.first();
    // No Q_OBJECT in CollapsingButton: its meta-object is the tool button's.
    if (className == QLatin1String("CollapsingButton"))
        QVERIFY(dynamic_cast<CollapsingButton*>(object));
    else
        QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
    QTEST(PlacementOf(root, object), "placement");
}

void TestForms::formHasNoOtherNamedObjects_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("rootName");
    QTest::newRow("page") << "page" << "AdvTriggerWidget";
    QTest::newRow("dialog") << "dialog" << "AdvTriggerDialog";
}

void TestForms::formHasNoOtherNamedObjects()
{
    QFETCH(QString, form);
    QWidget* root = Form(form);
    QTEST(root->objectName(), "rootName");

    QStringList expected;
    for (const Entry& e : EntriesOf(form))
        expected.append(QString::fromLatin1(e.name));
    QStringList actual;
    for (QObject* object : root->findChildren<QObject*>()) {
        // Qt names the internals of scroll areas and spin boxes "qt_...".
        if (!object->objectName().isEmpty() && !object->objectName().startsWith(QLatin1String("qt_")))
            actual.append(object->objectName());
    }
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
}

void TestForms::boundWidgetsNameTheFeatures_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QStringList>("nonFeatureWidgets");
    QTest::addColumn<QStringList>("features");

    QTest::newRow("page") << "page"
        << QStringList{"cmbSelectPreset", "btnApplyPreset", "btnAdvancedDialog", "lbl_notAcquireHint", "chkTooltips"}
        << QStringList{"TriggerSource", "TriggerActivation", "TriggerSelector", "TriggerMode", "TriggerDelay",
                       "TriggerSoftware"};
    QTest::newRow("dialog") << "dialog"
        << QStringList{"cmbSelectPreset", "txtPWMFrequency", "txtPWMDutyCycle", "lbl_notAcquireHint", "chkTooltips",
                       "lbl_noActionCommandsHint"}
        << QStringList{"TriggerSource", "TriggerActivation", "TriggerSelector", "TriggerMode", "TriggerDelay",
                       "TriggerSoftware", "AcquisitionMode", "AcquisitionFrameCount", "ExposureMode",
                       "ActionDeviceKey", "ActionSelector", "ActionGroupKey", "ActionQueueSize", "ActionGroupMask",
                       "PtpEnable", "PtpClockAccuracy", "PtpOperationMode", "PtpClockID", "PtpOffsetFromMaster",
                       "PtpGrandmasterClockID", "PtpServoStatus", "PtpParentClockID", "PtpStatus",
                       "PtpDataSetLatch", "TimestampLatchValue", "TimestampLatch", "SoftwareSignalSelector",
                       "SoftwareSignalPulse", "CounterSelector", "CounterEventSource", "CounterEventActivation",
                       "CounterDuration", "CounterValue", "CounterTriggerSource", "CounterResetSource",
                       "CounterTriggerActivation", "CounterResetActivation", "CounterStatus",
                       "CounterValueAtReset", "CounterReset", "TimerSelector", "TimerTriggerSource", "TimerDelay",
                       "TimerTriggerActivation", "TimerDuration", "TimerStatus", "TimerReset"};
}

void TestForms::boundWidgetsNameTheFeatures()
{
    QFETCH(QString, form);
    QFETCH(QStringList, nonFeatureWidgets);
    QFETCH(QStringList, features);
    features.sort();
    QCOMPARE(BoundFeatures(Form(form), nonFeatureWidgets), features);
}

void TestForms::tabOrder_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("page") << "page"
        << QStringList{"scrollArea", "cmbSelectPreset", "chkTooltips", "cmbTriggerSource", "cmbTriggerActivation",
                       "cmbTriggerSelector", "cmbTriggerMode", "spbTriggerDelay", "btnTriggerSoftware",
                       "btnAdvancedDialog", "tableWidget", "btnTriggerFeaturesStatus", "treeView"};
    QTest::newRow("dialog") << "dialog"
        << QStringList{"scrollArea", "scrollArea_2", "cmbSelectPreset", "chkTooltips", "btnConfigureTriggerSources",
                       "cmbTriggerSource", "cmbTriggerActivation", "cmbTriggerSelector", "cmbTriggerMode",
                       "spbTriggerDelay", "btnTriggerSoftware", "btnConfigureInputOutput", "tableWidget",
                       "btnConfigureAcquisitionMode", "cmbAcquisitionMode", "spbAcquisitionFrameCount",
                       "cmbExposureMode", "btnConfigureActionCommand", "txtActionDeviceKey", "spbActionSelector",
                       "txtActionGroupKey", "txtActionQueueSize", "txtActionGroupMask", "chkPtpEnable",
                       "txtPtpClockAccuracy", "cmbPtpOperationMode", "txtPtpClockID", "txtPtpOffsetFromMaster",
                       "txtPtpGrandmasterClockID", "txtPtpServoStatus", "txtPtpParentClockID", "txtPtpStatus",
                       "btnPtpDataSetLatch", "txtTimestampLatchValue", "btnTimestampLatch",
                       "btnConfigureSoftwareSignal", "cmbSoftwareSignalSelector", "btnSoftwareSignalPulse",
                       "btnConfigureCounterTimer", "cmbCounterSelector", "cmbCounterEventSource",
                       "cmbCounterEventActivation", "cmbCounterTriggerSource", "cmbCounterResetSource",
                       "cmbCounterTriggerActivation", "cmbCounterResetActivation", "txtCounterStatus",
                       "btnCounterReset", "cmbTimerSelector", "cmbTimerTriggerSource", "spbTimerDelay",
                       "cmbTimerTriggerActivation", "spbTimerDuration", "grpPWM", "txtPWMFrequency",
                       "txtPWMDutyCycle", "txtTimerStatus", "btnTimerReset", "treeView"};
}

void TestForms::tabOrder()
{
    QFETCH(QString, form);
    QFETCH(QStringList, order);
    QCOMPARE(TabOrder(Form(form), order), order);
}

void TestForms::property_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");

    auto row = [](const char* form, const char* object, const char* property, const QVariant& value) {
        QTest::addRow("%s: %s.%s", form, object, property)
            << QString::fromLatin1(form) << QString::fromLatin1(object) << QString::fromLatin1(property) << value;
    };
    const QString richText = QStringLiteral(
        "<html><head/><body><p align=\"right\">Acquisition Mode, Action Command,</p>"
        "<p align=\"right\">Counters and Timers:</p></body></html>");

    row("page", "AdvTriggerWidget", "windowTitle", QStringLiteral("Form"));
    row("page", "AdvTriggerWidget", "size", QSize(517, 747));
    row("page", "AdvTriggerWidget", "minimumSize", QSize(350, 0));
    row("page", "AdvTriggerWidget", "locale", QLocale(QLocale::English, QLocale::UnitedStates));
    row("page", "verticalLayout_2", "spacing", 50);
    row("page", "lbl_notAcquireHint", "text",
        QStringLiteral("Full Trigger configuration only if camera is not acquiring!"));
    row("page", "lbl_notAcquireHint", "styleSheet", hintStyle);
    row("page", "lbl_notAcquireHint", "italic", true);
    row("page", "lbl_notAcquireHint", "weight", 75);
    row("page", "lbl_notAcquireHint", "alignment", int(Qt::AlignCenter));
    row("page", "chkTooltips", "layoutDirection", int(Qt::RightToLeft));
    row("page", "grpTrigger", "title", QStringLiteral("Configure Trigger:"));
    row("page", "lblTriggerDelay", "text", QStringLiteral("Delay (\u00b5s):"));
    row("page", "label", "text", richText);
    row("page", "tableWidget", "cornerButtonEnabled", false);
    row("page", "tableWidget", "rowCount", 2);
    row("page", "tableWidget", "minimumSize", QSize(290, 128));
    row("page", "btnTriggerFeaturesStatus", "text", QStringLiteral(" Show Trigger Features Status:"));
    // The form's empty style sheet replaces the button's own "background:none".
    row("page", "btnTriggerFeaturesStatus", "styleSheet", QString());
    row("page", "btnTriggerFeaturesStatus", "checked", false);
    row("page", "btnTriggerFeaturesStatus", "arrowType", int(Qt::RightArrow));
    row("page", "btnTriggerFeaturesStatus", "toolButtonStyle", int(Qt::ToolButtonTextBesideIcon));
    row("page", "treeView", "editTriggers", int(QAbstractItemView::NoEditTriggers));
    // Visible in the form; the collapsing button folds them later.
    row("page", "frmTriggerFeaturesStatus", "hidden", false);
    row("page", "treeView", "hidden", false);

    row("dialog", "AdvTriggerDialog", "windowTitle", QStringLiteral("Advanced Trigger IO"));
    row("dialog", "AdvTriggerDialog", "minimumSize", QSize(950, 850));
    row("dialog", "lblSelectPreset", "text", QStringLiteral("1. Select Preset:"));
    row("dialog", "lblSelectPreset", "styleSheet", QString());
    row("dialog", "label_3", "text", QStringLiteral("Trigger Features Status:"));
    for (const char* name : {"btnConfigureTriggerSources", "btnConfigureInputOutput", "btnConfigureAcquisitionMode"})
        row("dialog", name, "checked", true);
    for (const char* name : {"btnConfigureActionCommand", "btnConfigureSoftwareSignal", "btnConfigureCounterTimer"}) {
        row("dialog", name, "checked", false);
        row("dialog", name, "checkable", true);
    }
    row("dialog", "btnConfigureTriggerSources", "text", QStringLiteral(" 2. Configure trigger input sources:"));
    row("dialog", "btnConfigureCounterTimer", "text", QStringLiteral(" Configure Counter and Timer:"));
    row("dialog", "btnConfigureSoftwareSignal", "autoFillBackground", true);
    for (const char* name : {"lbl_notAcquireHint", "lbl_noActionCommandsHint", "lbl_noSoftwareSignalHint",
                             "lbl_noCounterTimerHint"}) {
        row("dialog", name, "styleSheet", hintStyle);
        row("dialog", name, "weight", 75);
    }
    row("dialog", "lbl_noCounterTimerHint", "text",
        QStringLiteral("Counter and Timer features are not available in the camera."));
    row("dialog", "lblPtpOffsetFromMaster", "text", QStringLiteral("PTP Offset from master: "));
    for (const char* name : {"txtPtpOffsetFromMaster", "txtTimestampLatchValue", "txtPtpParentClockID",
                             "txtPtpStatus", "txtPtpServoStatus", "txtPtpGrandmasterClockID", "txtPtpClockID",
                             "txtPtpClockAccuracy", "txtCounterStatus", "txtCounterValueAtReset", "txtTimerStatus"})
        row("dialog", name, "italic", true);
    for (const char* name : {"txtCounterStatus", "txtCounterValueAtReset", "txtTimerStatus"})
        row("dialog", name, "enabled", false);
    row("dialog", "txtPtpStatus", "enabled", true);
    row("dialog", "label_2", "italic", true);
    row("dialog", "label_2", "weight", 50);
    row("dialog", "spbCounterDuration", "decimals", 0);
    row("dialog", "spbCounterValue", "decimals", 0);
    row("dialog", "spbTimerDuration", "decimals", 2);
    row("dialog", "grpPWM", "title", QStringLiteral("PWM:"));
    row("dialog", "grpPWM", "checkable", true);
    row("dialog", "grpPWM", "checked", false);
    row("dialog", "horizontalLayout_3", "spacing", 5);
    row("dialog", "frmConfigureInputOutput", "locale", QLocale(QLocale::English, QLocale::UnitedStates));
    row("dialog", "line_6", "frameShape", int(QFrame::HLine));
    row("dialog", "scrollArea_2", "minimumSize", QSize(350, 0));
}

void TestForms::property()
{
    QFETCH(QString, form);
    QFETCH(QString, object);
    QFETCH(QString, property);
    QObject* target = Find(Form(form), object);
    QVERIFY(target);

    // Font parts and visibility are no properties of their own.
    auto* widget = qobject_cast<QWidget*>(target);
    QVariant actual;
    if (property == QLatin1String("italic"))
        actual = widget->font().italic();
    else if (property == QLatin1String("weight"))
        actual = widget->font().weight();
    else if (property == QLatin1String("hidden"))
        actual = widget->isHidden();
    else
        actual = target->property(property.toLatin1().constData());
    QVERIFY2(actual.isValid(), "no such property");
    QTEST(actual, "value");
}

void TestForms::spacers_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QStringList>("spacers");

    QTest::newRow("page") << "page"
        << QStringList{"gridLayout 1 2 40x20 Maximum/Minimum", "horizontalLayout 1 0 40x20 Expanding/Minimum",
                       "horizontalLayout_2 3 0 40x20 Maximum/Minimum", "verticalLayout 7 0 20x20 Minimum/Expanding"};
    QTest::newRow("dialog") << "dialog"
        << QStringList{"gridLayout 1 2 40x20 Maximum/Minimum", "gridLayout_2 0 4 40x20 Preferred/Minimum",
                       "gridLayout_3 0 5 162x20 Expanding/Minimum", "gridLayout_3 2 3 40x20 Maximum/Minimum",
                       "gridLayout_4 0 2 40x20 Maximum/Minimum", "gridLayout_5 8 2 40x20 Maximum/Minimum",
                       "gridLayout_6 0 4 163x20 Expanding/Minimum", "gridLayout_6 2 2 40x20 Maximum/Minimum",
                       "gridLayout_7 0 2 40x20 Expanding/Minimum", "gridLayout_8 15 0 20x40 Minimum/Expanding",
                       "horizontalLayout 3 0 40x20 Maximum/Minimum", "horizontalLayout_3 0 0 40x20 Expanding/Minimum",
                       "horizontalLayout_3 2 0 40x20 Expanding/Minimum",
                       "horizontalLayout_4 0 0 40x20 Expanding/Minimum",
                       "horizontalLayout_6 2 0 40x20 Expanding/Minimum",
                       "horizontalLayout_7 0 0 40x20 Expanding/Minimum",
                       "horizontalLayout_8 2 0 40x20 Expanding/Minimum",
                       "horizontalLayout_9 2 0 40x20 Expanding/Minimum",
                       "verticalLayout_2 1 0 20x40 Minimum/Expanding"};
}

void TestForms::spacers()
{
    QFETCH(QString, form);
    QTEST(Spacers(Form(form)), "spacers");
}

void TestForms::tableHeaders_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("toolTips");

    const QStringList texts{"I/O Mode", "Invert", "I/O Line Source", "Status"};
    const QStringList toolTips{"LineMode", "LineInverter", "LineSource", "LineStatus"};
    QTest::newRow("page") << "page" << texts << toolTips;
    QTest::newRow("dialog, with two-line debounce headers")
        << "dialog" << texts + QStringList{"Debounce\nMode", QStringLiteral("Debounce\nDuration (\u00b5s)")}
        << toolTips + QStringList{"LineDebounceMode", "LineDebounceDuration"};
}

void TestForms::tableHeaders()
{
    QFETCH(QString, form);
    auto* table = Form(form)->findChild<QTableWidget*>(QStringLiteral("tableWidget"));
    QVERIFY(table);

    QStringList texts, toolTips;
    for (int column = 0; column < table->columnCount(); ++column) {
        QTableWidgetItem* item = table->horizontalHeaderItem(column);
        QVERIFY(item);
        texts.append(item->text());
        toolTips.append(item->toolTip());
    }
    QTEST(texts, "texts");
    QTEST(toolTips, "toolTips");
}

void TestForms::textsAreTranslatedInTheFormsContext_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("buttonText");

    QTest::newRow("page") << "page" << "AdvTriggerWidget" << "btnTriggerFeaturesStatus"
                          << " T:Show Trigger Features Status:";
    QTest::newRow("dialog") << "dialog" << "AdvTriggerDialog" << "btnConfigureActionCommand"
                            << " T:Configure Action Command:";
}

void TestForms::textsAreTranslatedInTheFormsContext()
{
    QFETCH(QString, form);
    QFETCH(QString, context);

    RecordingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    // Installing asks the application for its own texts.
    translator.contexts.clear();
    const std::unique_ptr<QWidget> root = SetUp(form);
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(translator.contexts, QSet<QString>{context});
    // The translated text still goes through the collapsing button's setText.
    QFETCH(QString, button);
    QTEST(root->findChild<QToolButton*>(button)->text(), "buttonText");
    QCOMPARE(root->findChild<QTableWidget*>(QStringLiteral("tableWidget"))->horizontalHeaderItem(0)->text(),
             QStringLiteral("T:I/O Mode"));
}

void TestForms::pageGridIsCreatedInDesignerOrder()
{
    auto* group = Form(QStringLiteral("page"))->findChild<QGroupBox*>(QStringLiteral("grpTrigger"));
    QVERIFY(group);
    QStringList children;
    for (QObject* child : group->children()) {
        if (child->isWidgetType())
            children.append(child->objectName());
    }
    const QStringList expected{"lblTriggerMode", "cmbTriggerSource", "cmbTriggerActivation", "lblTriggerSource",
                               "btnTriggerSoftware", "cmbTriggerSelector", "lblTriggerDelay", "lblTriggerActivation",
                               "cmbTriggerMode", "spbTriggerDelay", "lblTriggerSelector"};
    QCOMPARE(children, expected);
}

void TestForms::pageTableCellHasNormalWeight()
{
    QTableWidgetItem* cell = Form(QStringLiteral("page"))->findChild<QTableWidget*>()->item(0, 0);
    QVERIFY(cell);
    QVERIFY(cell->text().isEmpty());
    QCOMPARE(cell->font().weight(), int(QFont::Normal));
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
