#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// Helpers shared by the test suites.

#include "kelcpp/sim/simcamera.h"

#include <QByteArray>
#include <QString>
#include <QtTest>

#include <memory>
#include <string>

namespace TestSupport {

// The repository's root, from the test environment.
inline QString SourceDir()
{
    return QString::fromLocal8Bit(qgetenv("KEL_SOURCE_DIR"));
}

inline QString CameraPath(const QString& file)
{
    return SourceDir() + QStringLiteral("/data/cameras/") + file;
}

// A simulated camera from a bundled description, paused so that tests
// drive its time themselves.
inline std::shared_ptr<KelCPP::Sim::SimCamera> OpenCamera(const QString& file)
{
    std::string error;
    KelCPP::Sim::SimOptions options;
    options.live = false;
    auto camera = KelCPP::Sim::SimCamera::FromFile(CameraPath(file).toStdString(), &error, options);
    if (!camera)
        qWarning("cannot open camera %s: %s", qPrintable(file), error.c_str());
    return camera;
}

// A paused simulated camera from an inline description.
inline std::shared_ptr<KelCPP::Sim::SimCamera> CameraFromJson(const QByteArray& json)
{
    std::string error;
    KelCPP::Sim::SimOptions options;
    options.live = false;
    auto camera = KelCPP::Sim::SimCamera::FromJson(json.toStdString(), &error, options);
    if (!camera)
        qWarning("cannot build camera: %s", error.c_str());
    return camera;
}

} // namespace TestSupport

#endif
