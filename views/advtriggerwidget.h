#ifndef VIEWS_ADVTRIGGERWIDGET_H
#define VIEWS_ADVTRIGGERWIDGET_H

#include "widgets/advtriggerbase.h"

#include "ui_advtriggerwidget.h"

#include <QPointer>

class AdvTriggerDialog;
class QTranslator;

// The "Trigger IO" tab page: the basic trigger settings, presets, the I/O
// line table, the status tree, and the door to the advanced dialog.
class AdvTriggerWidget : public AdvTriggerBase
{
    Q_OBJECT

public:
    // Throws TENotSupported (code 4) for another vendor's camera or one
    // without TriggerSelector, LineSelector and LineMode. Names the host's
    // tab ("Trigger IO") through its accessible name.
    AdvTriggerWidget(const CameraFeatureList& features, QWidget* parent);
    ~AdvTriggerWidget() override;

    // What a camera needs for this page, tested in this order.
    static QStringList RequiredFeatures();

    // Loads "qm/<baseName>_<locale>" relative to the current directory,
    // falling back to the language alone; the translator may stay empty.
    QTranslator* LoadTranslator(const QString& baseName);

    void UpdateChangedFeatures() override;
    void ApplyColorScheme() override;

signals:
    void dialogWindowDisplayed(bool status);

private slots:
    void OnClickAdvancedDialog();
    void showTabWidget(int);
    void SetCustomPreset() override;
    void camIsStreaming(bool streamingIsOn);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Tells the user why the dialog did not open, without blocking.
    void ShowDialogRefusal(const TabExtensionException& refusal);

    bool firstShown = false;
    // What the host said last; a dialog opened later starts from it.
    bool streaming = false;
    Ui::AdvTriggerWidget ui;
    // The content of the dialog opened last; its QDialog owns it and deletes
    // itself when closed.
    QPointer<AdvTriggerDialog> dialogContent;
};

#endif
