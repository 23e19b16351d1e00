// What the user is told: typed numbers that cannot be taken are marked and
// refused, or set to the limit, with a word; commands and presets say what
// the camera answered; no cell shows a value that is none. In English and
// under a German locale.

#include "plugin/tabextensioninterface.h"
#include "views/advtriggerdialog.h"
#include "views/advtriggerwidget.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

using KelCPP::Sim::Fault;
using KelCPP::Sim::Op;

namespace {

QString Text(const KelCPP::Sim::SimCamera& camera, const char* name) { return TestSupport::ValueText(TestSupport::FindFeature(camera, name)); }

// The camera's writes to anything but a selector, as "Feature=value".
QStringList Written(const KelCPP::Sim::SimCamera& camera)
{
    QStringList writes;
    for (const KelCPP::Sim::CallRecord& r : camera.CallLog()) {
        bool number = false;
        const double value = QString::fromStdString(r.value).toDouble(&number);
        if (r.op == Op::SetValue && !QString::fromStdString(r.feature).endsWith("Selector"))
            writes << QString::fromStdString(r.feature) + '=' + (number ? QString::number(value) : QString::fromStdString(r.value));
    }
    return writes;
}

bool InputMarked(const QWidget* w) { return !w->property("inputProblem").toString().isEmpty() && w->graphicsEffect(); }

// "Turn Off All" runs before "Triggered"; "Custom" writes nothing.
const char Presets[] = R"({ "#presets": ["Custom", "Turn Off All", "Triggered"], "Custom": {},
  "Turn Off All": { "TriggerSelector": { "#value": "<all>", "TriggerMode": "Off" } },
  "Triggered": { "TriggerSelector": { "#value": "FrameStart", "TriggerMode": "On", "TriggerSource": "Software" } } })";

} // namespace

class TestInputFeedback : public QObject
{
    Q_OBJECT

    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
    std::unique_ptr<QWidget> host;
    AdvTriggerWidget* page = nullptr;
    std::unique_ptr<AdvTriggerDialog> dialog;
    QTranslator german;
    bool inGerman = false;
    QLocale userLocale;

    // A text as the user reads it.
    QString Said(const char* context, const char* source) const
    {
        return inGerman ? german.translate(context, source) : QString::fromUtf8(source);
    }
    void German()
    {
        if (!german.load(qEnvironmentVariable("KEL_RUNTIME_DIR") + "/qm/tabextensionadvtrigger_de.qm"))
            QSKIP("no compiled German translation");
        QCoreApplication::installTranslator(&german);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        inGerman = true;
    }
    // The page, or the dialog, shown and refreshed once.
    QWidget* Open(bool onPage)
    {
        QWidget* view = nullptr;
        if (onPage) {
            host = std::make_unique<QWidget>();
            view = page = new AdvTriggerWidget(TestSupport::CameraFeatures(*camera), host.get());
            host->show();
        } else {
            view = (dialog = std::make_unique<AdvTriggerDialog>(TestSupport::CameraFeatures(*camera), -1, nullptr)).get();
            dialog->show();
        }
        camera->WaitForNotifications();
        QCoreApplication::sendPostedEvents();
        return QMetaObject::invokeMethod(view, "updateTimer") ? view : nullptr;
    }
    static void Type(QWidget* field, const QString& text)
    {
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    static QString Hover(QWidget* w)
    {
        QHelpEvent event(QEvent::ToolTip, w->rect().center(), w->mapToGlobal(w->rect().center()));
        QApplication::sendEvent(w, &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }

private slots:
    void init() { camera = TestSupport::OpenCamera("full.json"); }
    void cleanup()
    {
        QToolTip::hideText();
        dialog.reset();
        host.reset();
        QCoreApplication::removeTranslator(&german);
        QLocale::setDefault(userLocale);
        inGerman = false;
    }

    // Typing 5000000 into Delay (at most 2000000) lost the last digit, unsaid.
    void numberBeyondTheLimitBecomesTheLimit_data()
    {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("pressReturn"); // else the box is left
        QTest::addColumn<double>("set");
        QTest::newRow("above, Return") << false << "5000000" << true << 2000000.0;
        QTest::newRow("below, leaving the box") << false << "-5" << false << 0.0;
        QTest::newRow("German, above") << true << "5000000" << true << 2000000.0;
    }
    void numberBeyondTheLimitBecomesTheLimit()
    {
        QFETCH(bool, german);
        QFETCH(QString, typed);
        QFETCH(double, set);
        if (german)
            German();
        QVERIFY(Open(true));
        auto* delay = page->findChild<QDoubleSpinBox*>("spbTriggerDelay");
        QSignalSpy said(page, SIGNAL(StatusMessage(QString)));
        Type(delay, typed);
        const QString shown = delay->text(); // with the decimals the box adds while it writes the camera
        QCOMPARE(QLocale().toDouble(shown), QLocale().toDouble(typed)); // not a digit lost
        QVERIFY(InputMarked(delay) && said.isEmpty());
        QCOMPARE(Hover(delay), Said("AdvTriggerBase", "Allowed: %1 to %2. A number beyond is set to the limit.").arg("0", "2000000"));

        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QFETCH(bool, pressReturn);
        pressReturn ? QTest::keyClick(delay, Qt::Key_Return) : void(QApplication::sendEvent(delay, &leave));
        QCOMPARE(delay->value(), set);
        QCOMPARE(Text(*camera, "TriggerDelay").toDouble(), set);
        QVERIFY(!delay->graphicsEffect());
        const QString caption = Said("AdvTriggerWidget", "Delay (\u00b5s):").chopped(1);
        const char* told = set > 0 ? "%1: %2 is above the maximum; set to %3." : "%1: %2 is below the minimum; set to %3.";
        QCOMPARE(said.last().at(0).toString(), Said("AdvTriggerBase", told).arg(caption, shown, delay->cleanText()));
    }

    // Duty cycle 150 % or frequency 0 stayed in the field, unwritten and
    // unexplained; under German, "12,5" was not taken.
    void pwmFieldsSayWhatTheyTake_data()
    {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("typed");   // frequency and duty cycle
        QTest::addColumn<QString>("refused"); // the field marked and named, if any
        QTest::addColumn<QString>("top");     // of its range; empty: no number
        QTest::newRow("150 %") << false << "1000 150" << "txtPWMDutyCycle" << "100";
        QTest::newRow("0 Hz") << false << "0 25" << "txtPWMFrequency" << "1000000";
        QTest::newRow("12.5 %") << false << "1000 12.5" << "" << "";
        QTest::newRow("German: 12,5 %") << true << "1000 12,5" << "" << "";
        QTest::newRow("German: a decimal point") << true << "1000 12.5" << "txtPWMDutyCycle" << "";
        QTest::newRow("German: 150 %") << true << "1000 150" << "txtPWMDutyCycle" << "100";
    }
    void pwmFieldsSayWhatTheyTake()
    {
        QFETCH(bool, german);
        QFETCH(QString, typed);
        QFETCH(QString, refused);
        QFETCH(QString, top);
        if (german)
            German();
        QVERIFY(Open(false));
        dialog->findChild<QGroupBox*>("grpPWM")->setChecked(true);
        QSignalSpy said(dialog.get(), SIGNAL(StatusMessage(QString)));
        camera->SetCallLogEnabled(true);
        const QList<QLineEdit*> fields{dialog->findChild<QLineEdit*>("txtPWMFrequency"), dialog->findChild<QLineEdit*>("txtPWMDutyCycle")};
        for (int i : {0, 1})
            Type(fields[i], typed.section(' ', i, i));
        QTest::keyClick(fields[1], Qt::Key_Return);
        QCOMPARE(fields[0]->text() + ' ' + fields[1]->text(), typed); // nothing dropped
        for (QLineEdit* field : fields)
            QCOMPARE(InputMarked(field), field->objectName() == refused);
        if (refused.isEmpty()) {
            QCOMPARE(Written(*camera), QStringList({"TimerDuration=125", "TimerDelay=875"}));
            QVERIFY(said.isEmpty());
            return;
        }
        QCOMPARE(Written(*camera), QStringList());
        auto* field = dialog->findChild<QLineEdit*>(refused);
        const QString why = top.isEmpty()
            ? Said("AdvTriggerBase", "\"%1\" is not a number: write it like %2.").arg(field->text(), QLocale().toString(12.5))
            : Said("AdvTriggerBase", "%1 is out of range: allowed is %2.").arg(field->text(), Said("AdvTriggerBase", "more than %1 up to %2").arg("0", top));
        QCOMPARE(Hover(field), why); // also with tooltips off
        const QString caption = Said("AdvTriggerDialog", field == fields[0] ? "Frequency (Hz):" : "Duty Cycle (%):").chopped(1);
        QCOMPARE(said.last().at(0).toString(), Said("AdvTriggerBase", "%1: %2 Nothing was written.").arg(caption, why));
        Type(field, "50"); // corrected: unmarked, then written
        QVERIFY(!InputMarked(field) && !field->graphicsEffect());
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(Written(*camera).size(), 2);
    }

    // Firing a command confirmed nothing.
    void commandsSayWhatTheCameraAnswered_data()
    {
        QTest::addColumn<bool>("onPage");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("refusal"); // the camera's code; 0: it runs
        QTest::addColumn<QString>("told");
        QTest::newRow("software trigger") << true << "TriggerSoftware" << 0 << "Software trigger sent to FrameStart.";
        QTest::newRow("refused") << true << "TriggerSoftware" << -6 << "The camera refused TriggerSoftware (code -6).";
        QTest::newRow("software signal") << false << "SoftwareSignalPulse" << 0 << "Software signal SoftwareSignal0 sent.";
        QTest::newRow("timestamp latch") << false << "TimestampLatch" << 0 << "Timestamp latched: %1.";
        QTest::newRow("counter reset") << false << "CounterReset" << 0 << "Counter0 reset.";
    }
    void commandsSayWhatTheCameraAnswered()
    {
        QFETCH(bool, onPage);
        QFETCH(QString, command);
        QFETCH(int, refusal);
        QFETCH(QString, told);
        QVERIFY(TestSupport::FindFeature(*camera, "TriggerSource")->SetValue("Software") == 0);
        if (refusal)
            camera->InjectFault(command.toStdString(), Op::RunCommand, Fault::Always(refusal));
        QWidget* view = Open(onPage);
        QSignalSpy said(view, SIGNAL(StatusMessage(QString)));
        view->findChild<QPushButton*>("btn" + command)->click();
        if (told.contains("%1"))
            told = told.arg(Text(*camera, "TimestampLatchValue"));
        QCOMPARE(said, QList<QVariantList>{{told}});
    }

    // Applying a preset confirmed nothing.
    void presetSaysHowItWent_data()
    {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QStringList>("refusing"); // features whose writes fail
        QTest::addColumn<QString>("told");         // empty: nothing
        QTest::newRow("applied") << false << "Triggered" << QStringList() << "Preset '%1' applied.";
        QTest::newRow("one failure") << false << "Triggered" << QStringList{"TriggerMode"} << "Preset '%1' applied with 1 failure.";
        QTest::newRow("two failures") << false << "Triggered" << QStringList{"TriggerMode", "TriggerSource"} << "Preset '%1' applied with %2 failures.";
        QTest::newRow("Custom writes nothing, says nothing") << false << "Custom" << QStringList() << "";
    }
    void presetSaysHowItWent()
    {
        QFETCH(bool, german);
        QFETCH(QString, preset);
        QFETCH(QStringList, refusing);
        QFETCH(QString, told);
        if (german)
            German();
        QTemporaryDir folder;
        QFile file(folder.filePath("plugins/AdvTrigger_VistaPro_Presets.json"));
        QVERIFY(QDir(folder.path()).mkdir("plugins") && file.open(QIODevice::WriteOnly) && file.write(Presets) > 0);
        file.close();
        QVERIFY(Open(true));
        auto* box = page->findChild<QComboBox*>("cmbSelectPreset");
        {
            const QSignalBlocker quiet(box); // as at the first show: nothing chosen
            page->LoadPresets(box, folder.path());
            box->setCurrentIndex(-1);
        }
        for (const QString& feature : refusing)
            camera->InjectFault(feature.toStdString(), Op::SetValue, Fault::Always(KelCPP::KelError::Other));
        QTimer closer; // the warning box waits for a click
        connect(&closer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->done(QMessageBox::Ok);
        });
        closer.start(0);
        QSignalSpy said(page, SIGNAL(StatusMessage(QString)));
        box->setCurrentText(preset);
        QString expected = Said("AdvTriggerBase", qPrintable(told)).arg(preset);
        if (refusing.size() > 1)
            expected = expected.arg(refusing.size());
        QCOMPARE(said, told.isEmpty() ? QList<QVariantList>() : QList<QVariantList>{{expected}});
    }

    // Output lines showed a debounce duration of -1.000000.
    void outputLinesShowNoDebounceDuration()
    {
        QVERIFY(TestSupport::FindFeature(*camera, "LineSelector")->SetValue("Line4") == 0);
        QVERIFY(TestSupport::FindFeature(*camera, "LineMode")->SetValue("Output") == 0);
        QVERIFY(Open(false));
        QSignalSpy failed(dialog.get(), SIGNAL(CameraAccessFailed(QString)));
        auto mode = [this](const char* line) { return dialog->findChild<QComboBox*>(QString("cmb%1_LineDebounceMode").arg(line)); };
        auto duration = [this](const char* line) { return dialog->findChild<QDoubleSpinBox*>(QString("spb%1_LineDebounceDuration").arg(line)); };
        for (const char* output : {"Line2", "Line4"}) {
            QVERIFY(duration(output)->text().trimmed().isEmpty() && mode(output)->currentText().isEmpty());
            for (QWidget* cell : {static_cast<QWidget*>(mode(output)), static_cast<QWidget*>(duration(output))}) // empty, disabled, no failure
                QVERIFY2(!cell->isEnabled() && cell->property("cameraFailure").toString().isEmpty() && !cell->graphicsEffect(), output);
        }
        QCOMPARE(duration("Line0")->text(), QLocale().toString(10.0, 'f', 6));

        // Line4 turned into an input shows its duration, in the feature's range.
        dialog->findChild<QComboBox*>("cmbLine4_LineMode")->setCurrentText("Input");
        camera->WaitForNotifications();
        QCoreApplication::sendPostedEvents();
        QVERIFY(QMetaObject::invokeMethod(dialog.get(), "updateTimer"));
        QCOMPARE(duration("Line4")->value(), 10.0);
        QCOMPARE(duration("Line4")->maximum(), 5000.0);
        QVERIFY(duration("Line4")->isEnabled() && mode("Line4")->isEnabled() && failed.isEmpty());
    }

    // A preset's "<min>" showed in its tooltip as a raw tag; the shipped
    // presets, in German (the English words are the presets file's tests').
    void presetTooltipsNameTheLimits()
    {
        German();
        QVERIFY(Open(true));
        auto* box = page->findChild<QComboBox*>("cmbSelectPreset");
        page->LoadPresets(box, qEnvironmentVariable("KEL_RUNTIME_DIR")); // the shipped presets
        auto tip = [box](const char* preset) { return box->itemData(box->findText(preset), Qt::ToolTipRole).toString(); };
        QVERIFY(tip("Software Trigger").contains("TriggerDelay: <i>" + Said("PresetsFile", "minimum") + "</i><br>"));
        QVERIFY(tip("Count Pulses (Line1)").contains("CounterDuration: <i>" + Said("PresetsFile", "maximum") + "</i><br>"));
        QVERIFY(!tip("Software Trigger").contains("&lt;min&gt;"));
        QVERIFY(tip("Turn Off All").contains("&lt;all&gt;")); // other values stay as written
    }

    // The host's status line hears the page and the dialog opened from it.
    void hostStatusLineHearsPageAndDialog()
    {
        QPluginLoader loader(qEnvironmentVariable("KEL_RUNTIME_DIR") + "/plugins/libtabextensionadvtrigger.so");
        auto* plugin = qobject_cast<TabExtensionInterface*>(loader.instance());
        QVERIFY2(plugin, qPrintable(loader.errorString()));
        TestSupport::Host viewer;
        auto* tab = new QWidget(&viewer);
        const QMap<QString, QVariant> options{{"connectWidgetToSignal", QByteArray(SIGNAL(streamingChanged(bool)))},
                                              {"connectStatusToSlot", QByteArray(SLOT(showStatus(QString)))}};
        QVERIFY(TestSupport::FindFeature(*camera, "TriggerSource")->SetValue("Software") == 0);
        QCOMPARE(plugin->CreateTabWidget(TestSupport::CameraFeatures(*camera), tab, &options), 0);
        viewer.show();
        tab->findChild<QPushButton*>("btnTriggerSoftware")->click();
        tab->findChild<QPushButton*>("btnAdvancedDialog")->click();
        auto* window = tab->findChild<QDialog*>();
        QVERIFY(window);
        window->findChild<QPushButton*>("btnSoftwareSignalPulse")->click();
        QCOMPARE(viewer.messages, QStringList({"Software trigger sent to FrameStart.", "Software signal SoftwareSignal0 sent."}));
        window->reject();
    }
};

QTEST_MAIN(TestInputFeedback)
#include "tst_inputfeedback.moc"
