#ifndef VIEWER_MAINWINDOW_H
#define VIEWER_MAINWINDOW_H

#include <QMainWindow>
#include <QSharedPointer>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QTabWidget;

namespace KelCPP {
class Camera;
class Feature;
} // namespace KelCPP

// The viewer's window: one camera, its identity, an acquisition switch,
// and one tab per plug-in that accepted the camera.
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
    };

    // Tells whether the camera still answers; a camera that cannot be lost
    // passes none.
    using ConnectionCheck = std::function<bool()>;

    explicit MainWindow(std::shared_ptr<KelCPP::Camera> camera, ConnectionCheck connected = {},
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    // Loads every plug-in in `directory` and adds the tabs they build.
    QList<PluginReport> loadPlugins(const QString& directory);

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
    void checkConnection();
    QString featureText(const char* name) const;

    std::shared_ptr<KelCPP::Camera> camera;
    ConnectionCheck connected;
    QLabel* lostBanner;
    CameraFeatures features;
    QTabWidget* tabs;
    QAction* acquisition;
    bool streaming = false;
};

#endif
