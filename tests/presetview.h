#ifndef PRESETVIEW_H
#define PRESETVIEW_H

// What the preset suites share: a minimal view with a preset box, a folder
// for presets files, and a hand that answers warning boxes.

#include "features/featuremanager.h"
#include "kelcpp/camera.h"
#include "widgets/advtriggerbase.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtTest>

inline CameraFeatureList FeaturesOf(const KelCPP::Camera& camera)
{
    KelCPP::FeaturePtrVector features;
    camera.GetFeatures(features);
    return CameraFeatureList::create(features.begin(), features.end());
}

// A view whose preset box is set up as the tab page sets up its own: filled
// from `applicationDir`, nothing selected, connected only afterwards. Its one
// feature widget, cmbTriggerMode, stands for any manual edit.
class PresetView : public AdvTriggerBase
{
public:
    PresetView(const CameraFeatureList& features, const QString& applicationDir)
        : AdvTriggerBase(features, nullptr)
    {
        nonFeatureWidgets << QStringLiteral("cmbSelectPreset");
        auto* layout = new QVBoxLayout(this);
        presetBox = new QComboBox;
        presetBox->setObjectName(QStringLiteral("cmbSelectPreset"));
        modeBox = new QComboBox;
        modeBox->setObjectName(QStringLiteral("cmbTriggerMode"));
        tree = new QTreeView;
        layout->addWidget(presetBox);
        layout->addWidget(modeBox);
        layout->addWidget(tree);
        BindFeatureWidgets();
        AttachStatusTree(tree);
        LoadPresets(presetBox, applicationDir);
        presetBox->setCurrentIndex(-1);
        connect(presetBox, SIGNAL(currentIndexChanged(int)), this, SLOT(OnSelectPreset(int)));
    }

    void UpdateChangedFeatures() override {}
    void ApplyColorScheme() override {}
    void SetCustomPreset() override { presetBox->setCurrentText(QStringLiteral("Custom")); }

    FeatureManager* Manager() const { return featureManager; }
    QStringList PresetNames() const
    {
        QStringList names;
        for (int i = 0; i < presetBox->count(); ++i)
            names << presetBox->itemText(i);
        return names;
    }

    QComboBox* presetBox;
    QComboBox* modeBox;
    QTreeView* tree;
};

// An application folder with a plugins/ folder for presets files.
class PresetsDir
{
public:
    PresetsDir() { QDir(dir.path()).mkdir(QStringLiteral("plugins")); }
    QString Path() const { return dir.path(); }
    QString File(const QString& name) const { return dir.path() + QStringLiteral("/plugins/") + name; }
    void Write(const QString& name, const QByteArray& content) const
    {
        QFile file(File(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(content.size()));
    }

private:
    QTemporaryDir dir;
};

// Answers every modal warning box with Ok while alive and keeps its title
// and text. The timer only fires inside the boxes' own event loops.
class BoxCloser : public QObject
{
public:
    BoxCloser()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            titles << box->windowTitle();
            texts << box->text();
            box->button(QMessageBox::Ok)->click();
        });
        timer.start(0);
    }

    QStringList titles;
    QStringList texts;

private:
    QTimer timer;
};

#endif
