#include "views/collapsingbutton.h"
#include "views/forms.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

// The tab page's or the dialog's form, set up on a plain widget.
std::unique_ptr<QWidget> SetUp(const QString& form)
{
    auto root = std::make_unique<QWidget>();
    form == QLatin1String("page") ? Ui::AdvTriggerWidget().setupUi(root.get()) : Ui::AdvTriggerDialog().setupUi(root.get());
    return root;
}

// The binding finds a feature's widget by its class and by the name after a
// three-letter prefix, which stands for the class.
const QMap<QString, QString> PrefixClass{{"cmb", "QComboBox"}, {"txt", "QLineEdit"}, {"spb", "QDoubleSpinBox"},
                                          {"chk", "QCheckBox"}, {"btn", "QPushButton"}};

// Space-separated "name" or "name=Class" entries: the names, and "name=Class"
// for each prefixed one, its class being the prefix's unless given.
void Parse(const QString& entries, QStringList* names, QStringList* classes)
{
    for (const QString& entry : entries.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        *names << name;
        if (PrefixClass.contains(name.left(3)))
            *classes << (entry.contains(QLatin1Char('=')) ? entry : name + '=' + PrefixClass.value(name.left(3)));
    }
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

} // namespace

class TestForms : public QObject
{
    Q_OBJECT
    // Every form is set up translated: the texts below carry the translator's mark.
    RecordingTranslator translator;

private slots:
    void initTestCase() { QVERIFY(QCoreApplication::installTranslator(&translator)); }

    // Each form (the row's name): the context it is translated in, its focus
    // chain, and the bound widgets outside the chain. Every widget with a
    // binding prefix must be listed, exist once and have its class.
    void widgets_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("tabOrder");
        QTest::addColumn<QString>("outsideTheChain");
        QTest::newRow("page") << "AdvTriggerWidget" << "scrollArea cmbSelectPreset chkTooltips cmbTriggerSource "
            "cmbTriggerActivation cmbTriggerSelector cmbTriggerMode spbTriggerDelay btnTriggerSoftware "
            "btnAdvancedDialog tableWidget btnTriggerFeaturesStatus=CollapsingButton treeView" << "";
        QTest::newRow("dialog") << "AdvTriggerDialog" << "scrollArea scrollArea_2 cmbSelectPreset chkTooltips "
            "btnConfigureTriggerSources=CollapsingButton cmbTriggerSource cmbTriggerActivation cmbTriggerSelector "
            "cmbTriggerMode spbTriggerDelay btnTriggerSoftware btnConfigureInputOutput=CollapsingButton tableWidget "
            "btnConfigureAcquisitionMode=CollapsingButton cmbAcquisitionMode spbAcquisitionFrameCount=QSpinBox "
            "cmbExposureMode btnConfigureActionCommand=CollapsingButton txtActionDeviceKey spbActionSelector=QSpinBox "
            "txtActionGroupKey txtActionQueueSize txtActionGroupMask chkPtpEnable txtPtpClockAccuracy "
            "cmbPtpOperationMode txtPtpClockID txtPtpOffsetFromMaster txtPtpGrandmasterClockID txtPtpServoStatus "
            "txtPtpParentClockID txtPtpStatus btnPtpDataSetLatch txtTimestampLatchValue btnTimestampLatch "
            "btnConfigureSoftwareSignal=CollapsingButton cmbSoftwareSignalSelector btnSoftwareSignalPulse "
            "btnConfigureCounterTimer=CollapsingButton cmbCounterSelector cmbCounterEventSource "
            "cmbCounterEventActivation cmbCounterTriggerSource cmbCounterResetSource cmbCounterTriggerActivation "
            "cmbCounterResetActivation txtCounterStatus btnCounterReset cmbTimerSelector cmbTimerTriggerSource "
            "spbTimerDelay cmbTimerTriggerActivation spbTimerDuration grpPWM txtPWMFrequency txtPWMDutyCycle "
            "txtTimerStatus btnTimerReset treeView" << "spbCounterDuration spbCounterValue txtCounterValueAtReset";
    }
    void widgets()
    {
        QFETCH(QString, context);
        QFETCH(QString, tabOrder);
        QFETCH(QString, outsideTheChain);
        translator.contexts.clear();
        const std::unique_ptr<QWidget> root = SetUp(QTest::currentDataTag());
        QCOMPARE(translator.contexts, QSet<QString>{context});
        QStringList order, others, expected, actual;
        Parse(tabOrder, &order, &expected);
        Parse(outsideTheChain, &others, &expected);
        for (QWidget* w : root->findChildren<QWidget*>()) {
            if (PrefixClass.contains(w->objectName().left(3))) // CollapsingButton has no meta-object of its own
                actual << w->objectName() + '=' + (dynamic_cast<CollapsingButton*>(w) ? "CollapsingButton" : w->metaObject()->className());
        }
        expected.sort();
        actual.sort();
        QCOMPARE(actual, expected);
        // A spin box hands its focus to its line edit, which is what the chain moves.
        QHash<QWidget*, QString> stops;
        for (const QString& name : order) {
            auto* widget = root->findChild<QWidget*>(name);
            QVERIFY2(widget, qPrintable(name));
            stops.insert(widget->focusProxy() ? widget->focusProxy() : widget, name);
        }
        QStringList chain;
        for (QWidget* w = root->nextInFocusChain(); w != root.get(); w = w->nextInFocusChain()) {
            if (stops.contains(w))
                chain << stops.value(w);
        }
        QCOMPARE(chain, order);
    }

    void property_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        auto row = [](const char* form, const char* object, const char* property, const QVariant& value) {
            QTest::addRow("%s: %s.%s", form, object, property) << QString::fromLatin1(form)
                << QString::fromLatin1(object) << QString::fromLatin1(property) << value;
        };
        // Translated texts still go through the collapsing button's setText.
        row("page", "btnTriggerFeaturesStatus", "text", QStringLiteral(" T:Show Trigger Features Status:"));
        row("dialog", "btnConfigureActionCommand", "text", QStringLiteral(" T:Configure Action Command:"));
        row("page", "btnTriggerFeaturesStatus", "checked", false);
        // Visible in the form; the collapsing button folds them later.
        row("page", "frmTriggerFeaturesStatus", "hidden", false);
        row("page", "treeView", "hidden", false);
        // The first three sections start expanded, the others collapsed.
        for (const char* name : {"btnConfigureTriggerSources", "btnConfigureInputOutput",
                                 "btnConfigureAcquisitionMode"})
            row("dialog", name, "checked", true);
        for (const char* name : {"btnConfigureActionCommand", "btnConfigureSoftwareSignal",
                                 "btnConfigureCounterTimer"})
            row("dialog", name, "checked", false);
        row("dialog", "grpPWM", "checked", false);
        for (const char* name : {"spbCounterDuration", "spbCounterValue"})
            row("dialog", name, "decimals", 0);
        for (const char* form : {"page", "dialog"})
            row(form, "treeView", "editTriggers", int(QAbstractItemView::NoEditTriggers));
        // The line table's column headers as "text (tooltip)": the tooltip names the line feature.
        const QString headers = "T:I/O Mode (T:LineMode), T:Invert (T:LineInverter), T:I/O Line Source (T:LineSource), "
                                "T:Status (T:LineStatus)";
        row("page", "tableWidget", "headers", headers);
        row("dialog", "tableWidget", "headers", headers + QStringLiteral(", T:Debounce\nMode (T:LineDebounceMode), "
                                                                         "T:Debounce\nDuration (\u00b5s) (T:LineDebounceDuration)"));
    }
    void property()
    {
        QFETCH(QString, form);
        QFETCH(QString, object);
        QFETCH(QString, property);
        const std::unique_ptr<QWidget> root = SetUp(form);
        auto* widget = root->findChild<QWidget*>(object);
        QVERIFY(widget);
        QVariant actual = widget->property(property.toLatin1());
        if (property == QLatin1String("hidden"))
            actual = widget->isHidden();
        if (property == QLatin1String("headers")) {
            auto* table = qobject_cast<QTableWidget*>(widget);
            QStringList headers;
            for (int column = 0; column < table->columnCount(); ++column) {
                const QTableWidgetItem* item = table->horizontalHeaderItem(column);
                headers << (item ? item->text() + " (" + item->toolTip() + ")" : QString());
            }
            actual = headers.join(QLatin1String(", "));
        }
        QVERIFY2(actual.isValid(), "no such property");
        QTEST(actual, "value");
    }
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
