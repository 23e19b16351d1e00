#ifndef PRESETVIEW_H
#define PRESETVIEW_H

// What the preset suites share: a minimal view with a preset box, a folder
// for presets files, and a hand that answers warning boxes.

#include "features/featuremanager.h"
#include "widgets/advtriggerbase.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

// A view whose preset box is set up as the tab page sets up its own: filled
// from `applicationDir`, nothing selected, connected only afterwards. Its one
// feature widget, cmbTriggerMode, stands for any manual edit.
class PresetView : public AdvTriggerBase
{
public:
    PresetView(const CameraFeatureList& features, const QString& applicationDir) : AdvTriggerBase(features, nullptr)
    {
        nonFeatureWidgets << "cmbSelectPreset";
        presetBox->setObjectName("cmbSelectPreset");
        modeBox->setObjectName("cmbTriggerMode");
        BindFeatureWidgets();
        AttachStatusTree(tree);
        LoadPresets(presetBox, applicationDir);
        presetBox->setCurrentIndex(-1);
        connect(presetBox, SIGNAL(currentIndexChanged(int)), this, SLOT(OnSelectPreset(int)));
    }
    void UpdateChangedFeatures() override {}
    void ApplyColorScheme() override {}
    void SetCustomPreset() override { presetBox->setCurrentText("Custom"); }
    FeatureManager* Manager() const { return featureManager; }

    QComboBox* presetBox = new QComboBox(this);
    QComboBox* modeBox = new QComboBox(this);
    QTreeView* tree = new QTreeView(this);
};

// An application folder with a plugins/ folder for presets files.
struct PresetsDir {
    PresetsDir() { QDir(dir.path()).mkdir("plugins"); }
    QString Path() const { return dir.path(); }
    QString File(const QString& name) const { return dir.path() + "/plugins/" + name; }
    void Write(const QString& name, const QByteArray& content) const
    {
        QFile file(File(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    QTemporaryDir dir;
};

// Answers every modal warning box with Ok while alive and keeps its title
// and text. The timer only fires inside the boxes' own event loops.
struct BoxCloser : QObject {
    BoxCloser()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                titles << box->windowTitle();
                texts << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer.start(0);
    }
    QStringList titles, texts;
    QTimer timer;
};

#endif
