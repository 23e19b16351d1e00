#ifndef BENCH_PAGERIG_H
#define BENCH_PAGERIG_H

// The tab page over a camera, driven by hand instead of by its timer: what
// the benchmarks time and the access-count tests count. A simulated camera
// is paused, so nothing changes on it unless the caller says so.

#include "kelcpp/sim/simcamera.h"
#include "views/advtriggerdialog.h"
#include "views/advtriggerwidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class PageRig
{
public:
    // `cameraFile` is a camera description; the camera starts paused.
    explicit PageRig(const std::string& cameraFile)
    {
        std::string error;
        KelCPP::Sim::SimOptions options;
        options.live = false;
        camera = KelCPP::Sim::SimCamera::FromFile(cameraFile, &error, options);
        if (!camera)
            throw std::runtime_error(error);
        auto sim = camera;
        Init(camera, [sim] { return sim->DeviceAccessCount(); }, [sim] { sim->WaitForNotifications(); });
    }
    // Any other camera: `accesses` counts its device accesses, `wait` waits
    // for the notifications it queued.
    PageRig(std::shared_ptr<KelCPP::Camera> other, std::function<std::uint64_t()> accesses,
            std::function<void()> wait)
    {
        Init(std::move(other), std::move(accesses), std::move(wait));
    }
    ~PageRig() { delete tab; }

    PageRig(const PageRig&) = delete;
    PageRig& operator=(const PageRig&) = delete;

    void SetLatency(std::chrono::microseconds latency) { camera->SetAccessLatency(latency); }
    std::uint64_t Accesses() const { return accessCount(); }

    // Builds the page in a host tab, as the plug-in does, and shows it until
    // it is painted. Its refresh timer is stopped: Tick() stands in for it.
    void ShowPage()
    {
        tab = new QWidget();
        page = new AdvTriggerWidget(features, tab);
        auto* layout = new QHBoxLayout(tab);
        layout->addWidget(page);
        tab->resize(760, 900);
        tab->show();
        Paint(tab);
        StopRefreshTimer(page);
    }

    // Hands every notification the camera queued so far to the views.
    void Deliver()
    {
        waitNotifications();
        QCoreApplication::processEvents();
    }

    // One refresh of the visible view (the dialog while it is open).
    void Tick() { QMetaObject::invokeMethod(Current(), "updateTimer", Qt::DirectConnection); }

    // Delivers and ticks until a tick costs no more than `quiet` accesses,
    // at most `limit` times; returns the ticks it took.
    int Settle(std::uint64_t quiet, int limit = 10)
    {
        for (int ticks = 1; ticks <= limit; ++ticks) {
            Deliver();
            const std::uint64_t before = Accesses();
            Tick();
            if (Accesses() - before <= quiet)
                return ticks;
        }
        return limit + 1;
    }

    QDialog* OpenDialog()
    {
        page->findChild<QPushButton*>(QStringLiteral("btnAdvancedDialog"))->click();
        dialog = page->findChild<QDialog*>();
        dialogContent = dialog ? dialog->findChild<AdvTriggerDialog*>() : nullptr;
        if (!dialogContent)
            throw std::runtime_error("the advanced dialog did not open");
        Paint(dialog);
        StopRefreshTimer(dialogContent);
        return dialog;
    }

    // Closes the dialog; the page comes back and is painted again.
    void CloseDialog()
    {
        dialog->close();
        dialog = nullptr;
        dialogContent = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Paint(tab);
        StopRefreshTimer(page);
    }

    // Chooses a preset in the visible view's box, as the user would.
    void SelectPreset(const QString& name)
    {
        auto* box = Current()->findChild<QComboBox*>(QStringLiteral("cmbSelectPreset"));
        const int index = box->findText(name);
        if (index < 0)
            throw std::runtime_error("no preset " + name.toStdString());
        {
            const QSignalBlocker block(box);
            box->setCurrentIndex(-1);
        }
        box->setCurrentIndex(index);
    }

    // Fills the page's preset box from `applicationDir`'s plugins/ folder
    // instead of the running program's, choosing none.
    void LoadPresetsFrom(const QString& applicationDir)
    {
        auto* box = page->findChild<QComboBox*>(QStringLiteral("cmbSelectPreset"));
        const QSignalBlocker block(box);
        page->LoadPresets(box, applicationDir);
        box->setCurrentIndex(-1);
    }

    QStringList PresetNames() const
    {
        QStringList names;
        auto* box = page->findChild<QComboBox*>(QStringLiteral("cmbSelectPreset"));
        for (int i = 0; i < box->count(); ++i)
            names << box->itemText(i);
        return names;
    }

    QWidget* Current() const { return dialogContent ? static_cast<QWidget*>(dialogContent) : page; }

    std::shared_ptr<KelCPP::Sim::SimCamera> camera; // null for other cameras
    std::shared_ptr<KelCPP::Camera> device;
    CameraFeatureList features;
    // The texts of the warning boxes answered so far.
    QStringList boxTexts;
    QWidget* tab = nullptr;
    AdvTriggerWidget* page = nullptr;
    QDialog* dialog = nullptr;
    AdvTriggerDialog* dialogContent = nullptr;

private:
    void Init(std::shared_ptr<KelCPP::Camera> cam, std::function<std::uint64_t()> accesses, std::function<void()> wait)
    {
        device = std::move(cam);
        accessCount = std::move(accesses);
        waitNotifications = std::move(wait);
        KelCPP::FeaturePtrVector list;
        device->GetFeatures(list);
        features = CameraFeatureList::create(list.begin(), list.end());
        // A warning box would wait for a click that never comes.
        QObject::connect(&boxCloser, &QTimer::timeout, &boxCloser, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxTexts << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        boxCloser.start(0);
    }

    // Runs the event loop until the window was painted once: the expose
    // that showing it queued brings the paint.
    static void Paint(QWidget* window)
    {
        struct PaintSeen : QObject {
            bool seen = false;
            bool eventFilter(QObject*, QEvent* event) override
            {
                seen = seen || event->type() == QEvent::Paint;
                return false;
            }
        } filter;
        window->installEventFilter(&filter);
        for (int round = 0; round < 100 && !filter.seen; ++round)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        window->removeEventFilter(&filter);
    }
    static void StopRefreshTimer(QWidget* view)
    {
        for (QTimer* timer : view->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
            timer->stop();
    }

    std::function<std::uint64_t()> accessCount;
    std::function<void()> waitNotifications;
    QTimer boxCloser;
};

#endif
