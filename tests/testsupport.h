#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// Helpers shared by the test suites.

#include "features/kelfeaturewrapper.h"
#include "kelcpp/sim/simcamera.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QtTest>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

// The camera's feature of that name; null when there is none.
inline KelCPP::FeaturePtr FindFeature(const KelCPP::Camera& camera, const char* name)
{
    KelCPP::FeaturePtr feature;
    camera.GetFeatureByName(name, feature);
    return feature;
}

// A feature's value read in the form its type calls for, as text: numbers
// as QString::number writes them, booleans as "true" / "false", raw data in
// hexadecimal, entries and strings as they are; "unreadable" when the read
// fails (commands included).
inline QString ValueText(const KelCPP::FeaturePtr& feature)
{
    KelCPP::KelFeatureDataType type = KelCPP::KelFeatureDataUnknown;
    if (!feature || feature->GetDataType(type) != KelCPP::KelError::Success)
        return QStringLiteral("unreadable");
    std::int64_t i = 0;
    double d = 0;
    bool b = false;
    std::vector<std::uint8_t> raw;
    std::string s;
    switch (type) {
    case KelCPP::KelFeatureDataInt: return feature->GetValue(i) ? "unreadable" : QString::number(i);
    case KelCPP::KelFeatureDataFloat: return feature->GetValue(d) ? "unreadable" : QString::number(d);
    case KelCPP::KelFeatureDataBool: return feature->GetValue(b) ? "unreadable" : b ? "true" : "false";
    case KelCPP::KelFeatureDataRaw:
        return feature->GetValue(raw) ? "unreadable"
                                      : QByteArray(reinterpret_cast<const char*>(raw.data()), int(raw.size())).toHex();
    default: return feature->GetValue(s) ? "unreadable" : QString::fromStdString(s);
    }
}

// The camera's features in its order, as the host hands them to a page.
inline CameraFeatureList CameraFeatures(const KelCPP::Camera& camera)
{
    KelCPP::FeaturePtrVector features;
    camera.GetFeatures(features);
    return CameraFeatureList::create(features.begin(), features.end());
}

// One wrapper per camera feature, in the camera's order, as a view builds
// them for its feature manager.
inline FeatureList WrapFeatures(const KelCPP::Camera& camera)
{
    KelCPP::FeaturePtrVector features;
    camera.GetFeatures(features);
    FeatureList list(new QVector<KelFeatureWrapperPtr>);
    for (const KelCPP::FeaturePtr& feature : features)
        list->append(std::make_shared<KelFeatureWrapper>(feature));
    return list;
}

// Every frame a stream delivered, for any backend.
class FrameRecorder : public KelCPP::IFrameObserver
{
public:
    void FrameReceived(const KelCPP::FramePtr& frame) override
    {
        const std::lock_guard<std::mutex> lock(mutex);
        frames.push_back(frame);
    }
    std::vector<KelCPP::FramePtr> Frames()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
    std::size_t Count() { return Frames().size(); }

private:
    std::mutex mutex;
    std::vector<KelCPP::FramePtr> frames;
};

// Drives a simulated camera through a script of ", "-separated steps:
// "Feature=value" writes, "Command!" runs a command, "Line0^1" forces a
// line's level, "+us" lets that much time pass (through `step`, which may
// cut it into pieces and wait between them; false fails the step). Returns
// the first step that failed, or an empty text.
inline QString ApplyScript(KelCPP::Sim::SimCamera& camera, const QString& script,
                           const std::function<bool(std::int64_t us)>& step = {})
{
    using namespace KelCPP;
    for (const QString& item : script.split(QStringLiteral(", "), Qt::SkipEmptyParts)) {
        KelErrorType result = KelError::Success;
        if (item.startsWith('+')) {
            const std::int64_t us = item.mid(1).toLongLong();
            if (step)
                result = step(us) ? KelError::Success : KelError::Timeout;
            else
                camera.Step(std::chrono::microseconds(us));
        } else if (item.contains('^')) {
            result = camera.SetLineLevel(item.section('^', 0, 0).toStdString(), item.endsWith('1'));
        } else {
            const FeaturePtr f = FindFeature(camera, item.section(QRegExp(QStringLiteral("[=!]")), 0, 0).toUtf8());
            KelFeatureDataType type = KelFeatureDataUnknown;
            if (!f || f->GetDataType(type) != KelError::Success)
                return item;
            const QString value = item.section('=', 1);
            result = type == KelFeatureDataCommand ? f->RunCommand()
                     : type == KelFeatureDataInt   ? f->SetValue(std::int64_t(value.toLongLong()))
                     : type == KelFeatureDataFloat ? f->SetValue(value.toDouble())
                     : type == KelFeatureDataBool  ? f->SetValue(value == QLatin1String("true"))
                                                   : f->SetValue(value.toUtf8().constData());
        }
        if (result != KelError::Success)
            return item;
    }
    return {};
}

// The viewer as far as a page sees it, with a status line.
class Host : public QWidget
{
    Q_OBJECT
public:
    QStringList messages;
public slots:
    void showStatus(const QString& message) { messages << message; }
signals:
    void streamingChanged(bool streaming);
};

// Collects the Qt debug messages written while it lives (GUI thread only).
class DebugMessages
{
public:
    DebugMessages() : previous(qInstallMessageHandler(&Collect)) { Texts().clear(); }
    ~DebugMessages() { qInstallMessageHandler(previous); }
    DebugMessages(const DebugMessages&) = delete;
    DebugMessages& operator=(const DebugMessages&) = delete;

    QStringList Messages() const { return Texts(); }

private:
    static QStringList& Texts()
    {
        static QStringList texts;
        return texts;
    }
    static void Collect(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtDebugMsg)
            Texts().append(text);
    }
    QtMessageHandler previous;
};

} // namespace TestSupport

#endif
