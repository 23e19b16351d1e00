#include "views/advtriggerdialog.h"
#include "views/advtriggerwidget.h"

#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

using Camera = std::shared_ptr<KelCPP::Sim::SimCamera>;

namespace {

// Edits and reads on the camera's side, as another client would make them.
template <class T> bool Set(const Camera& camera, const char* name, T value) { return TestSupport::FindFeature(*camera, name)->SetValue(value) == 0; }
QString Text(const Camera& camera, const char* name) { return TestSupport::ValueText(TestSupport::FindFeature(*camera, name)); }

// Delivers everything the camera reported so far; with a view, runs its refresh.
bool Deliver(const Camera& camera, QWidget* view = nullptr)
{
    camera->WaitForNotifications();
    QCoreApplication::sendPostedEvents();
    return !view || QMetaObject::invokeMethod(view, "updateTimer");
}

QString Write(const std::string& feature, double value) { return QString::fromStdString(feature) + '=' + QString::number(value, 'g', 17); }
QStringList Writes(double duration, double delay) { return {Write("TimerDuration", duration), Write("TimerDelay", delay)}; }

// The logged writes to the timer's duration and delay, or else to anything but a selector.
QStringList Logged(const Camera& camera, bool timerOnly = true)
{
    QStringList writes;
    for (const KelCPP::Sim::CallRecord& r : camera->CallLog()) {
        const bool timer = r.feature == "TimerDuration" || r.feature == "TimerDelay";
        if (r.op == KelCPP::Sim::Op::SetValue && (timerOnly ? timer : !QString::fromStdString(r.feature).endsWith("Selector")))
            writes << Write(r.feature, QString::fromStdString(r.value).toDouble());
    }
    return writes;
}

template <class T = QLineEdit> T* Child(const QObject* parent, const char* name) { return parent->findChild<T*>(QLatin1String(name)); }

// A common laptop's screen; the offscreen one is smaller.
const QRect LaptopScreen(0, 0, 1366, 768);

// The window the page opens for the dialog, at the size it opens at on that screen.
std::unique_ptr<QDialog> OpenWindow(const Camera& camera, const QRect& screen = LaptopScreen)
{
    auto window = std::make_unique<QDialog>();
    auto* content = new AdvTriggerDialog(TestSupport::CameraFeatures(*camera), -1, window.get());
    (new QVBoxLayout(window.get()))->addWidget(content);
    window->resize(content->OpeningWindowSize(screen));
    window->show();
    return QTest::qWaitForWindowExposed(window.get()) && Deliver(camera, content) ? std::move(window) : nullptr;
}

// The open sections' buttons, without "btnConfigure", sorted; or opens all.
QStringList OpenSections(const QWidget* window, bool openAll = false)
{
    QStringList open;
    for (QToolButton* button : window->findChildren<QToolButton*>(QRegularExpression("^btnConfigure"))) {
        if (openAll && !button->isChecked())
            button->click();
        if (button->isChecked())
            open << button->objectName().mid(12);
    }
    open.sort();
    return open;
}

// The visible widgets in `sections` that a frame (or the table) cuts off.
QStringList CutOff(const QWidget* sections)
{
    QStringList cut;
    for (const QWidget* widget : sections->findChildren<QWidget*>()) {
        QRect rect = widget->rect();
        for (const QWidget* w = widget; w != sections && widget->isVisibleTo(sections); w = w->parentWidget()) {
            rect.translate(w->pos());
            if (!w->parentWidget()->rect().contains(rect)) {
                cut << widget->objectName() + '/' + widget->metaObject()->className();
                break;
            }
        }
    }
    return cut;
}

// The visible widgets in the scroll area's content that lie (partly) beside
// its viewport, where only scrolling sideways reaches them.
QStringList Aside(const QScrollArea* area)
{
    QStringList aside;
    for (const QWidget* widget : area->widget()->findChildren<QWidget*>()) {
        const int left = widget->mapTo(area->viewport(), QPoint()).x();
        if (widget->isVisibleTo(area->widget()) && (left < 0 || left + widget->width() > area->viewport()->width()))
            aside << widget->objectName() + '/' + widget->metaObject()->className();
    }
    return aside;
}

} // namespace

class TestAdvTriggerDialog : public QObject
{
    Q_OBJECT

    Camera camera;
    std::unique_ptr<AdvTriggerDialog> dialog;
    QTemporaryDir settings; // what the dialog remembers

    // The dialog over the camera as it is now, shown and refreshed once.
    void Open()
    {
        dialog = std::make_unique<AdvTriggerDialog>(TestSupport::CameraFeatures(*camera), -1, nullptr);
        dialog->show();
        QVERIFY(Deliver(camera, dialog.get()));
    }
    QLineEdit* Field(const char* name) const { return Child(dialog.get(), name); }
    QGroupBox* Pwm() const { return Child<QGroupBox>(dialog.get(), "grpPWM"); }
    QString PwmFields() const { return (Field("txtPWMFrequency")->text() + ' ' + Field("txtPWMDutyCycle")->text()).trimmed(); }
    // Types into the PWM fields and leaves one of them.
    void Enter(const char* frequency, const char* dutyCycle, const char* leaving = "txtPWMDutyCycle")
    {
        Field("txtPWMFrequency")->setText(frequency);
        Field("txtPWMDutyCycle")->setText(dutyCycle);
        QMetaObject::invokeMethod(Field(leaving), "editingFinished");
    }
    // Whether another client's change of TriggerMode reaches the page at its next refresh.
    bool Observes(QWidget* page, const char* mode)
    {
        Deliver(camera, page); // earlier reports, some still queued when the page hid
        Set(camera, "TriggerMode", mode);
        Deliver(camera);
        return QMetaObject::invokeMethod(page, "updateTimer")
            && Child<QComboBox>(page, "cmbTriggerMode")->currentText() == mode;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    }
    void init()
    {
        camera = TestSupport::OpenCamera("full.json");
        QSettings().clear(); // a dialog not opened before
    }
    void cleanup() { dialog.reset(); camera.reset(); }

    void missingFeatureHints_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QList<bool>>("shown"); // action commands, software signals, counters and timers
        QTest::newRow("basic") << QByteArray("basic.json") << QList<bool>{true, true, true};
        QTest::newRow("full") << QByteArray("full.json") << QList<bool>{false, false, false};
        QTest::newRow("counters without timers") << QByteArray(R"({ "format": 1, "features": [
            { "name": "DeviceVendorName", "type": "String", "value": "Brennix" },
            { "name": "ActionSelector", "type": "Integer" },
            { "name": "CounterSelector", "type": "Enumeration", "entries": [ "Counter0" ] } ] })") << QList<bool>{false, true, true};
    }
    void missingFeatureHints()
    {
        QFETCH(QByteArray, description);
        camera = description.startsWith('{') ? TestSupport::CameraFromJson(description) : TestSupport::OpenCamera(description);
        AdvTriggerDialog hidden(TestSupport::CameraFeatures(*camera), -1, nullptr);
        QList<bool> shown;
        for (const char* hint : {"lbl_noActionCommandsHint", "lbl_noSoftwareSignalHint", "lbl_noCounterTimerHint"})
            shown << Child<QLabel>(&hidden, hint)->isVisibleTo(&hidden);
        QTEST(shown, "shown");
    }

    // With the timer at 250 + 750 us: PWM mode switched on, the fields typed and
    // left, then PWM mode switched off and on again over the typed fields.
    void frequencyAndDutyCycleToTimer_data()
    {
        QTest::addColumn<QByteArray>("typed");   // frequency (Hz) and duty cycle (%)
        QTest::addColumn<QStringList>("writes"); // on leaving either field, and on switching on again
        QTest::addColumn<QString>("shown");      // in the fields at the end
        QTest::newRow("1 kHz, 25 %") << QByteArray("1000 25") << Writes(250, 750) << "1000 25";
        QTest::newRow("3 Hz, 50 %: six digits") << QByteArray("3 50") << Writes(166667, 166667) << "3 50";
        QTest::newRow("100 %") << QByteArray("500 100") << Writes(2000, 0) << "500 100";
        QTest::newRow("no frequency: the timer's") << QByteArray(" 25") << QStringList() << "1000 25";
        for (const char* typed : {"0 25", "-5 25", "abc 25", "1000 0", "1000 -10", "1000 x", "1000 "})
            QTest::addRow("nothing for '%s'", typed) << QByteArray(typed) << QStringList() << QString(typed).trimmed();
    }
    void frequencyAndDutyCycleToTimer()
    {
        QFETCH(QByteArray, typed);
        QFETCH(QStringList, writes);
        QVERIFY(Set(camera, "TimerDuration", 250.0) && Set(camera, "TimerDelay", 750.0));
        Open();
        camera->SetCallLogEnabled(true);
        Pwm()->setChecked(true); // the timer now retriggers itself
        QCOMPARE(Text(camera, "TimerTriggerSource") + ' ' + Text(camera, "TimerTriggerActivation"), QString("Timer0Active FallingEdge"));
        const QList<QByteArray> fields = typed.split(' ');
        for (const char* leaving : {"txtPWMFrequency", "txtPWMDutyCycle"}) {
            camera->ClearCallLog();
            Enter(fields.at(0), fields.at(1), leaving);
            QCOMPARE(Logged(camera), writes);
        }
        Pwm()->setChecked(false);
        QCOMPARE(PwmFields(), QString());
        camera->ClearCallLog();
        for (const char* leaving : {"txtPWMFrequency", "txtPWMDutyCycle"})
            Enter(fields.at(0), fields.at(1), leaving); // ignored while off...
        QCOMPARE(Logged(camera), QStringList());
        Pwm()->setChecked(true); // ...and written when switched on: the fields win; empty, the timer fills them
        QCOMPARE(Logged(camera), writes);
        QTEST(PwmFields(), "shown");
    }

    void pwmFieldsFollowTheTimer_data()
    {
        QTest::addColumn<QByteArray>("trigger"); // the timer's trigger source and activation
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("delay");
        QTest::addColumn<QString>("shown"); // frequency (Hz) and duty cycle (%); empty while PWM mode is off
        const QByteArray pwm = "Timer0Active FallingEdge"; // the timer retriggers itself
        QTest::newRow("PWM timer, 250 + 750 us") << pwm << 250.0 << 750.0 << QString("1000 25");
        QTest::newRow("PWM timer, six digits") << pwm << 1.0 << 2.0 << QString("333333 33.3333");
        QTest::newRow("PWM timer, both 0") << pwm << 0.0 << 0.0 << QString("0 0");
        QTest::newRow("rising edge: no PWM mode") << QByteArray("Timer0Active RisingEdge") << 250.0 << 750.0 << QString();
        QTest::newRow("other timer: no PWM mode") << QByteArray("Timer1Active FallingEdge") << 250.0 << 750.0 << QString();
    }
    void pwmFieldsFollowTheTimer()
    {
        QFETCH(QByteArray, trigger);
        QFETCH(double, duration);
        QFETCH(double, delay);
        QFETCH(QString, shown);
        QVERIFY(Set(camera, "TimerTriggerSource", trigger.split(' ').at(0).constData()));
        QVERIFY(Set(camera, "TimerTriggerActivation", trigger.split(' ').at(1).constData()));
        Open(); // its first refresh
        QCOMPARE(Pwm()->isChecked(), !shown.isEmpty());
        QVERIFY(Set(camera, "TimerDuration", duration) && Set(camera, "TimerDelay", delay));
        QVERIFY(Set(camera, "TimerTriggerSource", "Off")); // leaving PWM on the camera keeps the mode
        camera->SetCallLogEnabled(true);
        QVERIFY(Deliver(camera, dialog.get()));
        QCOMPARE(Pwm()->isChecked(), !shown.isEmpty());
        QTEST(PwmFields(), "shown");
        QCOMPARE(Logged(camera), QStringList()); // shown, not written back
    }

    // Expanding the lower sections once squashed the I/O table to one row and
    // cut off the bottom of the counter and timer section.
    void sectionsScrollInsteadOfSquashing_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QRect>("screen");
        QTest::newRow("full camera, laptop") << QByteArray("full.json") << LaptopScreen;
        QTest::newRow("full camera, small screen") << QByteArray("full.json") << QRect(0, 0, 640, 480);
        QTest::newRow("basic camera, laptop") << QByteArray("basic.json") << LaptopScreen;
    }
    void sectionsScrollInsteadOfSquashing()
    {
        QFETCH(QByteArray, description);
        QFETCH(QRect, screen);
        camera = TestSupport::OpenCamera(description);
        const std::unique_ptr<QDialog> window = OpenWindow(camera, screen);
        QVERIFY(window);
        OpenSections(window.get(), true);
        auto* table = Child<QTableWidget>(window.get(), "tableWidget");
        auto* sections = Child<QScrollArea>(window.get(), "scrollArea");
        QVERIFY(table->rowCount() >= 4);
        QTRY_VERIFY(table->viewport()->height() >= table->verticalHeader()->length()); // every row
        QTRY_VERIFY2(CutOff(sections->widget()).isEmpty(), qPrintable(CutOff(sections->widget()).join(", ")));
        QVERIFY(sections->verticalScrollBar()->maximum() > 0); // the sections scroll instead
    }

    // At its first opening on a laptop's screen the dialog once hung over the
    // screen's edge, hid its right-hand column (PTP fields, debounce
    // durations; in German more), and on the basic camera the missing-feature
    // hints pushed the trigger's Mode, Activation and software trigger out of
    // view. It could not be made narrower than 972 px.
    void openingSizeShowsEverythingAcross_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<bool>("german");
        QTest::newRow("full camera") << QByteArray("full.json") << false;
        QTest::newRow("full camera, German") << QByteArray("full.json") << true;
        QTest::newRow("basic camera: hints") << QByteArray("basic.json") << false;
        QTest::newRow("basic camera: hints in German") << QByteArray("basic.json") << true;
    }
    void openingSizeShowsEverythingAcross()
    {
        QFETCH(QByteArray, description);
        QFETCH(bool, german);
        QTranslator translator;
        const QString qm = qEnvironmentVariable("KEL_RUNTIME_DIR") + "/qm/tabextensionadvtrigger_de.qm";
        if (german && !translator.load(qm))
            QSKIP(qPrintable("no compiled German translation at " + qm));
        if (german)
            QCoreApplication::installTranslator(&translator);
        const auto untranslate = qScopeGuard([&] { QCoreApplication::removeTranslator(&translator); });
        camera = TestSupport::OpenCamera(description);

        const std::unique_ptr<QDialog> window = OpenWindow(camera);
        QVERIFY(window);
        QVERIFY(LaptopScreen.size().boundedTo(window->size()) == window->size());
        QVERIFY(window->minimumWidth() <= LaptopScreen.width() / 2); // beside the viewer
        auto* sections = Child<QScrollArea>(window.get(), "scrollArea");
        const QRect view = sections->viewport()->rect();
        for (const char* name : {"cmbTriggerActivation", "cmbTriggerMode", "btnTriggerSoftware"}) {
            auto* widget = Child<QWidget>(window.get(), name);
            QTRY_VERIFY2(view.contains(QRect(widget->mapTo(sections->viewport(), QPoint()), widget->size())), name);
        }
        // The hints wrap rather than widen the sections.
        const int width = sections->widget()->minimumSizeHint().width();
        for (QLabel* hint : window->findChildren<QLabel*>(QRegularExpression("^lbl_no.*Hint$")))
            hint->hide();
        sections->widget()->layout()->activate();
        QCOMPARE(sections->widget()->minimumSizeHint().width(), width);

        // PTP fields, debounce durations, timer: nothing needs scrolling sideways.
        OpenSections(window.get(), true);
        QTRY_VERIFY2(Aside(sections).isEmpty(), qPrintable(Aside(sections).join(", ")));
        QCOMPARE(sections->horizontalScrollBar()->maximum(), 0);

        // A status field shows every state the camera names whole ("CounterCompleted").
        for (const char* name : {"CounterStatus", "TimerStatus"}) {
            std::vector<std::string> states;
            const KelCPP::FeaturePtr feature = TestSupport::FindFeature(*camera, name);
            if (!feature || feature->GetValues(states) != 0)
                continue; // a camera without counters and timers
            auto* field = Child(window.get(), qPrintable(QString("txt") + name));
            for (const std::string& state : states)
                QVERIFY2(field->contentsRect().width() >= field->fontMetrics().horizontalAdvance(state.c_str()), state.c_str());
        }
    }

    // The window opens as the user left it: size and folded sections.
    void reopensAsItWasLeft()
    {
        QWidget host;
        auto* page = new AdvTriggerWidget(TestSupport::CameraFeatures(*camera), &host);
        host.show();
        auto open = [page] {
            Child<QPushButton>(page, "btnAdvancedDialog")->click();
            return QPointer<QDialog>(page->findChild<QDialog*>());
        };
        QPointer<QDialog> window = open();
        QVERIFY(window && window->isVisible());
        const QSize screen = window->screen()->availableGeometry().size();
        QVERIFY2(screen.boundedTo(window->size()) == window->size(), "opened larger than the screen");
        QCOMPARE(OpenSections(window), QStringList({"AcquisitionMode", "InputOutput", "TriggerSources"}));

        window->resize(700, 480);
        Child<QToolButton>(window, "btnConfigureInputOutput")->click();
        Child<QToolButton>(window, "btnConfigureCounterTimer")->click();
        window->close();
        QTRY_VERIFY(window.isNull());
        window = open();
        QCOMPARE(window->size(), QSize(700, 480));
        QCOMPARE(OpenSections(window), QStringList({"AcquisitionMode", "CounterTimer", "TriggerSources"}));
        QCOMPARE(Child<QFrame>(window, "frmConfigureInputOutput")->maximumHeight(), 0);
        QTRY_VERIFY(Child<QFrame>(window, "frmCounterTimer")->height() > 0);

        // Left larger than this screen (on another one): it still fits.
        window->resize(screen + QSize(400, 300));
        window->reject();
        QTRY_VERIFY(window.isNull());
        window = open();
        QVERIFY2(screen.boundedTo(window->size()) == window->size(), "reopened larger than the screen");
        window->reject();
    }

    void handOverToDialogAndBack()
    {
        QWidget host;
        auto* page = new AdvTriggerWidget(TestSupport::CameraFeatures(*camera), &host);
        host.show();
        QVERIFY(Observes(page, "On"));
        // Both boxes list the same presets; applying one writes AcquisitionFrameCount.
        auto presets = [](QWidget* view, int index) {
            auto* box = Child<QComboBox>(view, "cmbSelectPreset");
            const QSignalBlocker block(box);
            for (int frames : {3, 5})
                box->addItem(QString::number(frames), QVariantMap{{"AcquisitionFrameCount", QVariantMap{{"#value", frames}}}});
            box->setCurrentIndex(index);
            return box;
        };
        QComboBox* pagePresets = presets(page, 0);
        QSignalSpy displayed(page, SIGNAL(dialogWindowDisplayed(bool)));

        Child<QPushButton>(page, "btnAdvancedDialog")->click();
        QPointer<QDialog> window = page->findChild<QDialog*>();
        QVERIFY(window && window->isVisible() && !page->isVisible());
        QCOMPARE(window->windowTitle(), QString("Advanced Trigger IO (%1-%2)").arg(Text(camera, "DeviceModelName"), Text(camera, "DeviceSerialNumber")));
        QVERIFY(!Observes(page, "Off")); // the page steps aside while its dialog is open

        // The page passes the streaming state on to the open dialog.
        QComboBox* dialogPresets = presets(window, 1); // as if chosen in the dialog
        auto* hint = Child<QLabel>(window, "lbl_notAcquireHint");
        for (bool streaming : {true, false}) {
            QVERIFY(QMetaObject::invokeMethod(page, "camIsStreaming", Q_ARG(bool, streaming)));
            QCOMPARE(dialogPresets->isEnabled(), !streaming);
            QCOMPARE(hint->isVisible(), streaming);
        }

        camera->SetCallLogEnabled(true);
        window->reject();
        QVERIFY(page->isVisible());
        QCOMPARE(pagePresets->currentIndex(), 1);
        QCOMPARE(displayed, (QList<QVariantList>{ { true }, { false } }));
        QTRY_VERIFY(window.isNull());
        QCOMPARE(Logged(camera, false), QStringList()); // the preset is not applied a second time
        QVERIFY(Observes(page, "On"));
    }

    // The LED of an output line driven by a slow PWM alternates across refreshes.
    void slowPwmBlinksAnOutputLine()
    {
        Open();
        Pwm()->setChecked(true);
        Enter("0.25", "50");
        Child<QComboBox>(dialog.get(), "cmbLine2_LineSource")->setCurrentText("Timer0Active");
        camera->Step(std::chrono::milliseconds(500)); // samples away from the edges
        QByteArray lit;
        for (int second = 0; second < 8; ++second) {
            camera->Step(std::chrono::seconds(1));
            QVERIFY(Deliver(camera, dialog.get()));
            lit += Child<QLabel>(dialog.get(), "lblLine2_LineStatus")->isEnabled() ? '1' : '0';
        }
        QCOMPARE(lit, QByteArray("01100110")); // each period 2 s dark (the delay), then 2 s lit
    }
};

QTEST_MAIN(TestAdvTriggerDialog)
#include "tst_advtriggerdialog.moc"
