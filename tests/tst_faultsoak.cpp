// Thousands of random user operations on the page and the dialog, through
// the plug-in, while the camera fails: every device access failing, one in
// ten failing at random, and the camera closed while in use. Nothing may
// crash or hang, and after every refresh each widget either shows what the
// camera holds or is marked.

#include "features/featuremanager.h"
#include "plugin/tabextensioninterface.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPluginLoader>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <random>

using KelCPP::Sim::Fault;
using KelCPP::Sim::Op;

namespace {

const QString Library = qEnvironmentVariable("KEL_RUNTIME_DIR") + "/plugins/libtabextensionadvtrigger.so";
constexpr std::uint64_t Seed = 20261206;
constexpr int OperationsPerPhase = 1000;

class Host : public QWidget
{
    Q_OBJECT
signals:
    void streamingChanged(bool streaming);
};

enum class Phase { EveryCallFails, SomeCallsFail, CameraClosed };

// The feature a widget shows, and for a table cell its line.
struct Shown {
    QString feature;
    QString line;
};

Shown WhatItShows(const QWidget* widget)
{
    const QString name = widget->objectName();
    if (name.size() < 4 || !name.at(0).isLower() || name.startsWith("lbl_") || name == "qt_spinbox_lineedit")
        return {};
    const QString rest = name.mid(3);
    if (rest.contains('_'))
        return {rest.section('_', 1), rest.section('_', 0, 0)};
    return {rest, QString()};
}

} // namespace

class TestFaultSoak : public QObject
{
    Q_OBJECT

    QPluginLoader loader{Library};
    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
    std::unique_ptr<FeatureManager> truth; // reads the camera past the faults
    std::unique_ptr<Host> host;
    QWidget* page = nullptr;
    std::mt19937_64 random{Seed};
    Phase phase = Phase::EveryCallFails;
    int checkedWidgets = 0;

    int Pick(int count) { return count > 0 ? int(random() % std::uint64_t(count)) : 0; }

    void InjectFaults()
    {
        for (int op = 0; op < KelCPP::Sim::OpCount; ++op) {
            // Names, types and texts come from the description, read when
            // the camera was opened: only the device fails.
            if (!KelCPP::Sim::IsDeviceAccess(Op(op)))
                continue;
            camera->InjectFault("*", Op(op), phase == Phase::EveryCallFails
                                                 ? Fault::Always(KelCPP::KelError::IO)
                                                 : Fault::Random(KelCPP::KelError::Timeout, 0.1, random()));
        }
    }

    // The widgets the user sees now: the dialog's while it is open.
    QWidget* View()
    {
        for (QDialog* dialog : page->findChildren<QDialog*>())
            if (dialog->isVisible() && !qobject_cast<QMessageBox*>(dialog))
                return dialog;
        return page;
    }

    // The widgets of `view`'s own window: the page holds its dialog.
    static QList<QWidget*> WidgetsOf(QWidget* view, const QRegularExpression& names)
    {
        QList<QWidget*> own;
        for (QWidget* widget : view->findChildren<QWidget*>(names))
            if (widget->window() == view->window())
                own << widget;
        return own;
    }

    void Refresh(QWidget* view)
    {
        if (camera)
            camera->WaitForNotifications();
        QCoreApplication::sendPostedEvents();
        QWidget* content = view == page ? page : view->findChild<QWidget*>("AdvTriggerDialog");
        QVERIFY(QMetaObject::invokeMethod(content, "updateTimer"));
    }

    void Operate(QWidget* view)
    {
        const QList<QWidget*> widgets = WidgetsOf(view, QRegularExpression("^(cmb|spb|chk|txt|btn)"));
        QWidget* widget = widgets.value(Pick(widgets.size()));
        if (!widget || !widget->isEnabled())
            return;
        if (auto* box = qobject_cast<QComboBox*>(widget)) {
            box->setCurrentIndex(Pick(box->count() + 1) - 1);
        } else if (auto* box = qobject_cast<QDoubleSpinBox*>(widget)) {
            box->setValue(box->minimum() + (box->maximum() - box->minimum()) * double(random() % 1000) / 999.0);
        } else if (auto* box = qobject_cast<QSpinBox*>(widget)) {
            const qint64 span = std::min<qint64>(qint64(box->maximum()) - box->minimum(), 100000);
            box->setValue(box->minimum() + Pick(int(std::max<qint64>(1, span))));
        } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
            check->toggle();
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            const QStringList texts{"0x1F", "0", "12.5", "-3", "0xFFFFFFFFFFFFFFFF", "1e9", "", "abc"};
            edit->setText(texts.at(Pick(texts.size())));
            emit edit->editingFinished();
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->click(); // the dialog's button opens it; a command button runs its command
        }
    }

    // Every widget that shows a feature either shows what the camera holds
    // or is marked. Read after a refresh that followed the notifications.
    void CheckShownValues(QWidget* view)
    {
        const QString gone = "camera closed";
        for (QWidget* widget : WidgetsOf(view, QRegularExpression())) {
            const Shown shown = WhatItShows(widget);
            // Captions ("lblTriggerMode") and command buttons show no value;
            // widgets of features the camera lacks show none either.
            if (shown.feature.isEmpty() || qobject_cast<QPushButton*>(widget)
                || (widget->objectName().startsWith("lbl") && shown.line.isEmpty()) || !truth->HasFeature(shown.feature))
                continue;
            if (!widget->property("cameraFailure").toString().isEmpty())
                continue;
            QVERIFY2(phase != Phase::CameraClosed, qPrintable(widget->objectName() + " unmarked with the " + gone));
            const QString saved = truth->GetStringValue("LineSelector");
            if (!shown.line.isEmpty())
                truth->WriteValue("LineSelector", shown.line);
            QString expected, actual;
            if (auto* box = qobject_cast<QComboBox*>(widget)) {
                expected = truth->GetStringValue(shown.feature);
                actual = box->currentText();
                if (box->currentIndex() < 0 && !truth->GetAvailableEntries(shown.feature).contains(expected))
                    actual = expected; // a value not on offer shows as no selection
            } else if (auto* box = qobject_cast<QDoubleSpinBox*>(widget)) {
                const double value = truth->GetValue(shown.feature);
                const double clamped = std::clamp(value, box->minimum(), box->maximum());
                const bool same = std::abs(clamped - box->value()) <= std::pow(10.0, -box->decimals());
                expected = QString::number(value);
                actual = same ? expected : QString::number(box->value());
            } else if (auto* box = qobject_cast<QSpinBox*>(widget)) {
                const double value = truth->GetValue(shown.feature);
                expected = QString::number(std::clamp(value, double(box->minimum()), double(box->maximum())));
                actual = QString::number(box->value());
            } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
                expected = truth->GetValue(shown.feature) != 0.0 ? "checked" : "unchecked";
                actual = check->isChecked() ? "checked" : "unchecked";
            } else if (auto* led = qobject_cast<QLabel*>(widget)) {
                expected = truth->GetValue(shown.feature) != 0.0 ? "lit" : "dark";
                actual = led->isEnabled() ? "lit" : "dark";
            } else {
                continue; // line edits: their text rules are tested where they are made
            }
            if (!shown.line.isEmpty())
                truth->WriteValue("LineSelector", saved);
            ++checkedWidgets;
            QVERIFY2(actual == expected, qPrintable(QString("%1 shows %2, the camera holds %3").arg(widget->objectName(), actual, expected)));
        }
    }

    void Run(Phase which)
    {
        phase = which;
        if (phase == Phase::CameraClosed)
            camera.reset(); // the page still holds its features, which now answer NotOpen
        else
            InjectFaults();
        // Warning boxes of presets wait for a click.
        QTimer closer;
        connect(&closer, &QTimer::timeout, [] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible())
                    box->done(QMessageBox::Ok);
        });
        closer.start(0);
        for (int operation = 0; operation < OperationsPerPhase; ++operation) {
            QWidget* view = View();
            switch (Pick(10)) {
            case 0:
                if (auto* dialog = qobject_cast<QDialog*>(view))
                    dialog->close();
                break;
            case 1:
                emit host->streamingChanged(Pick(2) == 1);
                break;
            case 2:
                if (camera)
                    camera->Step(std::chrono::microseconds(1 + Pick(400000)));
                break;
            case 3:
                if (camera) {
                    camera->ClearFaults();
                    Refresh(view);
                    Refresh(view);
                    CheckShownValues(view);
                    InjectFaults();
                } else {
                    Refresh(view);
                    CheckShownValues(view);
                }
                break;
            default:
                Operate(view);
                break;
            }
            QCoreApplication::processEvents();
            if (QTest::currentTestFailed())
                return;
        }
    }

private slots:
    void initTestCase()
    {
        auto* plugin = qobject_cast<TabExtensionInterface*>(loader.instance());
        QVERIFY2(plugin, qPrintable(loader.errorString()));
        camera = TestSupport::OpenCamera("full.json");
        QVERIFY(camera);
        KelCPP::FeaturePtrVector features;
        camera->GetFeatures(features);
        FeatureList wrappers(new QVector<KelFeatureWrapperPtr>());
        for (const auto& feature : features)
            wrappers->append(std::make_shared<KelFeatureWrapper>(feature));
        truth = std::make_unique<FeatureManager>(wrappers);
        host = std::make_unique<Host>();
        auto* tab = new QWidget(host.get());
        const QMap<QString, QVariant> options{{"connectWidgetToSignal", QByteArray(SIGNAL(streamingChanged(bool)))}};
        QCOMPARE(plugin->CreateTabWidget(TestSupport::CameraFeatures(*camera), tab, &options), 0);
        page = tab->findChild<QWidget*>("AdvTriggerWidget");
        host->show();
    }
    void cleanupTestCase()
    {
        host.reset();
        truth.reset();
        camera.reset();
    }

    void everyDeviceAccessFailing() { Run(Phase::EveryCallFails); }
    void oneInTenFailing() { Run(Phase::SomeCallsFail); }
    void cameraClosedInUse()
    {
        Run(Phase::CameraClosed);
        QVERIFY2(checkedWidgets > 1000, qPrintable(QString::number(checkedWidgets)));
    }
};

QTEST_MAIN(TestFaultSoak)
#include "tst_faultsoak.moc"
