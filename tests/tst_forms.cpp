#include "views/collapsingbutton.h"
#include "views/forms.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

std::unique_ptr<QWidget> SetUp(const QString& form)
{
    auto root = std::make_unique<QWidget>();
    if (form == QLatin1String("page"))
        Ui::AdvTriggerWidget().setupUi(root.get());
    else
        Ui::AdvTriggerDialog().setupUi(root.get());
    return root;
}

// Class name to the sorted names of the form's named widgets ("qt_..." are
// Qt's own). CollapsingButton has no meta-object of its own.
QMap<QString, QStringList> WidgetsByClass(QWidget* root)
{
    QMap<QString, QStringList> classes;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        classes[dynamic_cast<CollapsingButton*>(w) ? QStringLiteral("CollapsingButton")
                                                   : QString::fromLatin1(w->metaObject()->className())]
            .append(w->objectName());
    }
    for (QStringList& names : classes)
        names.sort();
    return classes;
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

private slots:
    // The forms' widgets of the classes that the binding picks up (it takes the
    // feature name from the object name after the prefix), and the section buttons.
    void namedWidgetsHaveTheirClass_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QStringList>("names");
        auto row = [](const char* form, const char* className, const char* names) {
            QStringList sorted = QString::fromLatin1(names).split(QLatin1Char(' '));
            sorted.sort();
            QTest::addRow("the %s's %s widgets", form, className) << form << className << sorted;
        };
        row("page", "QComboBox",
            "cmbSelectPreset cmbTriggerSource cmbTriggerActivation cmbTriggerSelector cmbTriggerMode");
        row("page", "QCheckBox", "chkTooltips");
        row("page", "QDoubleSpinBox", "spbTriggerDelay");
        row("page", "QPushButton", "btnTriggerSoftware btnAdvancedDialog");
        row("page", "CollapsingButton", "btnTriggerFeaturesStatus");
        row("dialog", "QComboBox", "cmbSelectPreset cmbTriggerSource cmbTriggerActivation cmbTriggerSelector "
            "cmbTriggerMode cmbAcquisitionMode cmbExposureMode cmbPtpOperationMode cmbSoftwareSignalSelector "
            "cmbCounterSelector cmbCounterEventSource cmbCounterEventActivation cmbCounterTriggerSource "
            "cmbCounterResetSource cmbCounterTriggerActivation cmbCounterResetActivation cmbTimerSelector "
            "cmbTimerTriggerSource cmbTimerTriggerActivation");
        row("dialog", "QLineEdit", "txtActionDeviceKey txtActionGroupKey txtActionQueueSize txtActionGroupMask "
            "txtPtpClockAccuracy txtPtpClockID txtPtpOffsetFromMaster txtPtpGrandmasterClockID txtPtpServoStatus "
            "txtPtpParentClockID txtPtpStatus txtTimestampLatchValue txtCounterStatus txtCounterValueAtReset "
            "txtPWMFrequency txtPWMDutyCycle txtTimerStatus");
        row("dialog", "QSpinBox", "spbAcquisitionFrameCount spbActionSelector");
        row("dialog", "QDoubleSpinBox",
            "spbTriggerDelay spbCounterDuration spbCounterValue spbTimerDelay spbTimerDuration");
        row("dialog", "QCheckBox", "chkTooltips chkPtpEnable");
        row("dialog", "QPushButton", "btnTriggerSoftware btnPtpDataSetLatch btnTimestampLatch "
            "btnSoftwareSignalPulse btnCounterReset btnTimerReset");
        row("dialog", "CollapsingButton", "btnConfigureTriggerSources btnConfigureInputOutput "
            "btnConfigureAcquisitionMode btnConfigureActionCommand btnConfigureSoftwareSignal "
            "btnConfigureCounterTimer");
    }
    void namedWidgetsHaveTheirClass()
    {
        QFETCH(QString, form);
        QFETCH(QString, className);
        QTEST(WidgetsByClass(SetUp(form).get()).value(className), "names");
    }

    void tabOrder_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("page") << "page"
            << QStringList{"scrollArea", "cmbSelectPreset", "chkTooltips", "cmbTriggerSource", "cmbTriggerActivation",
                           "cmbTriggerSelector", "cmbTriggerMode", "spbTriggerDelay", "btnTriggerSoftware",
                           "btnAdvancedDialog", "tableWidget", "btnTriggerFeaturesStatus", "treeView"};
        QTest::newRow("dialog") << "dialog"
            << QStringList{"scrollArea", "scrollArea_2", "cmbSelectPreset", "chkTooltips",
                   "btnConfigureTriggerSources", "cmbTriggerSource", "cmbTriggerActivation", "cmbTriggerSelector",
                   "cmbTriggerMode", "spbTriggerDelay", "btnTriggerSoftware", "btnConfigureInputOutput",
                   "tableWidget", "btnConfigureAcquisitionMode", "cmbAcquisitionMode", "spbAcquisitionFrameCount",
                   "cmbExposureMode", "btnConfigureActionCommand", "txtActionDeviceKey", "spbActionSelector",
                   "txtActionGroupKey", "txtActionQueueSize", "txtActionGroupMask", "chkPtpEnable",
                   "txtPtpClockAccuracy", "cmbPtpOperationMode", "txtPtpClockID", "txtPtpOffsetFromMaster",
                   "txtPtpGrandmasterClockID", "txtPtpServoStatus", "txtPtpParentClockID", "txtPtpStatus",
                   "btnPtpDataSetLatch", "txtTimestampLatchValue", "btnTimestampLatch", "btnConfigureSoftwareSignal",
                   "cmbSoftwareSignalSelector", "btnSoftwareSignalPulse", "btnConfigureCounterTimer",
                   "cmbCounterSelector", "cmbCounterEventSource", "cmbCounterEventActivation",
                   "cmbCounterTriggerSource", "cmbCounterResetSource", "cmbCounterTriggerActivation",
                   "cmbCounterResetActivation", "txtCounterStatus", "btnCounterReset", "cmbTimerSelector",
                   "cmbTimerTriggerSource", "spbTimerDelay", "cmbTimerTriggerActivation", "spbTimerDuration",
                   "grpPWM", "txtPWMFrequency", "txtPWMDutyCycle", "txtTimerStatus", "btnTimerReset", "treeView"};
    }
    void tabOrder()
    {
        QFETCH(QString, form);
        QFETCH(QStringList, order);
        const std::unique_ptr<QWidget> root = SetUp(form);
        // A spin box hands its focus to its line edit, which is what the chain moves.
        QHash<QWidget*, QString> stops;
        for (const QString& name : order) {
            auto* widget = root->findChild<QWidget*>(name);
            QVERIFY2(widget, qPrintable(name));
            stops.insert(widget->focusProxy() ? widget->focusProxy() : widget, name);
        }
        QStringList actual;
        for (QWidget* w = root->nextInFocusChain(); w != root.get(); w = w->nextInFocusChain()) {
            if (stops.contains(w))
                actual << stops.value(w);
        }
        QCOMPARE(actual, order);
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
        row("page", "btnTriggerFeaturesStatus", "text", QStringLiteral(" Show Trigger Features Status:"));
        // The form's empty style sheet replaces the button's own "background:none".
        row("page", "btnTriggerFeaturesStatus", "styleSheet", QString());
        row("page", "btnTriggerFeaturesStatus", "checked", false);
        // Visible in the form; the collapsing button folds them later.
        row("page", "frmTriggerFeaturesStatus", "hidden", false);
        row("page", "treeView", "hidden", false);
        row("page", "lblTriggerDelay", "text", QStringLiteral("Delay (\u00b5s):"));
        row("page", "label", "text", QStringLiteral("<html><head/><body><p align=\"right\">Acquisition Mode, Action "
            "Command,</p><p align=\"right\">Counters and Timers:</p></body></html>"));
        row("dialog", "btnConfigureTriggerSources", "text", QStringLiteral(" 2. Configure trigger input sources:"));
        row("dialog", "lblPtpOffsetFromMaster", "text", QStringLiteral("PTP Offset from master: "));
        // The first three sections start expanded, the others collapsed.
        for (const char* name : {"btnConfigureTriggerSources", "btnConfigureInputOutput",
                                 "btnConfigureAcquisitionMode"})
            row("dialog", name, "checked", true);
        for (const char* name : {"btnConfigureActionCommand", "btnConfigureSoftwareSignal",
                                 "btnConfigureCounterTimer"})
            row("dialog", name, "checked", false);
        row("dialog", "grpPWM", "checkable", true);
        row("dialog", "grpPWM", "checked", false);
        for (const char* name : {"spbCounterDuration", "spbCounterValue"})
            row("dialog", name, "decimals", 0);
        for (const char* form : {"page", "dialog"})
            row(form, "treeView", "editTriggers", int(QAbstractItemView::NoEditTriggers));
        // The line table's column headers as "text (tooltip)": the tooltip names the line feature.
        const QStringList headers{"I/O Mode (LineMode)", "Invert (LineInverter)", "I/O Line Source (LineSource)",
                                  "Status (LineStatus)"};
        row("page", "tableWidget", "headers", headers);
        row("dialog", "tableWidget", "headers", headers + QStringList{"Debounce\nMode (LineDebounceMode)",
            QStringLiteral("Debounce\nDuration (\u00b5s) (LineDebounceDuration)")});
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
            actual = headers;
        }
        QVERIFY2(actual.isValid(), "no such property");
        QTEST(actual, "value");
    }

    void textsAreTranslatedInTheFormsContext_data()
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
    void textsAreTranslatedInTheFormsContext()
    {
        QFETCH(QString, form);
        RecordingTranslator translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        translator.contexts.clear(); // installing asks the application for its own texts
        const std::unique_ptr<QWidget> root = SetUp(form);
        QCoreApplication::removeTranslator(&translator);
        QFETCH(QString, context);
        QCOMPARE(translator.contexts, QSet<QString>{context});
        // The translated text still goes through the collapsing button's setText.
        QFETCH(QString, button);
        QTEST(root->findChild<QToolButton*>(button)->text(), "buttonText");
        QCOMPARE(root->findChild<QTableWidget*>()->horizontalHeaderItem(0)->text(), QStringLiteral("T:I/O Mode"));
    }
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
