#ifndef VIEWER_MAINWINDOW_H
#define VIEWER_MAINWINDOW_H

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSharedPointer>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QDockWidget;
class QLabel;
class QTabWidget;
class ImageView;
class TimelineView;

namespace KelCPP {
class Camera;
class Feature;
} // namespace KelCPP

// The viewer's window: the camera's image in the middle, its signals on a
// time axis below, the plug-in tabs in a side panel, and the stream's
// counters in the status bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    using CameraFeatures = QSharedPointer<QVector<std::shared_ptr<KelCPP::Feature>>>;

    // One line per plug-in library found, for --check.
    struct PluginReport {
        QString file;
        QString className;
        QString iid;
        int result = -1;     // CreateTabWidget's result; -1 when it never ran
        QString problem;     // why the library could not be used, if it could not
        QString refusal;     // why the plug-in declined the camera, if it said
    };

    // Tells whether the camera still answers; a camera that cannot be lost
    // passes none.
    using ConnectionCheck = std::function<bool()>;

    explicit MainWindow(std::shared_ptr<KelCPP::Camera> camera, ConnectionCheck connected = {},
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    // Loads every plug-in in `directory` and adds the tabs they build; a
    // plug-in that declines the camera gets a tab that says why.
    QList<PluginReport> loadPlugins(const QString& directory);

    ImageView* imageView() const { return image; }
    TimelineView* timelineView() const { return timeline; }

signals:
    // Handed to the plug-ins as their streaming signal.
    void streamingChanged(bool streaming);

public slots:
    void setStreaming(bool on);
    // A plug-in's report of a camera access that failed.
    void showPluginStatus(const QString& message);

protected:
    void changeEvent(QEvent* event) override;

private:
    void refreshTabTitles();
    void fitSidePanel();
    void checkConnection();
    void updateCounters();
    QString featureText(const char* name) const;
    QString acquisitionState() const;

    std::shared_ptr<KelCPP::Camera> camera;
    ConnectionCheck connected;
    QLabel* lostBanner;
    CameraFeatures features;
    QTabWidget* tabs;
    QDockWidget* sidePanel;
    ImageView* image;
    TimelineView* timeline;
    QAction* acquisition;
    bool streaming = false;
    bool hasStream = false;

    // Status bar fields.
    QLabel* framesField;
    QLabel* rateField;
    QLabel* missedField;
    QLabel* incompleteField;
    QLabel* stateField;
    // The frame rate over the last second or so: deliveries counted at two
    // moments.
    QElapsedTimer rateClock;
    std::uint64_t rateFrames = 0;
    qint64 rateSince = 0;
    double frameRate = 0.0;
};

#endif
