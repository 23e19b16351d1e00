#ifndef VIEWS_ADVTRIGGERDIALOG_H
#define VIEWS_ADVTRIGGERDIALOG_H

#include "widgets/advtriggerbase.h"

#include "ui_advtriggerdialog.h"

// The content of the "Advanced Trigger IO" window: every trigger, line,
// acquisition, action, PTP, software signal, counter and timer setting, and
// a PWM calculator that turns a frequency and duty cycle into the selected
// timer's delay and duration.
class AdvTriggerDialog : public AdvTriggerBase
{
    Q_OBJECT

public:
    // Binds the form at once. The preset box starts on `presetIndex` (the
    // page's) without applying it. Throws TENotSupported for another
    // vendor's camera.
    AdvTriggerDialog(const CameraFeatureList& features, int presetIndex, QWidget* parent);
    ~AdvTriggerDialog() override;

    int PresetIndex() const;

    // The size for the window holding the dialog to open at, on a screen
    // whose free area is `available`: the size it had when it last closed,
    // else one that shows every section's whole width beside the status
    // tree. Leaves room for the window's frame within `available`. Call it
    // once the window's layout holds the dialog, whose margins it counts.
    // Invokable: the viewer's screenshots show the dialog at this size.
    Q_INVOKABLE QSize OpeningWindowSize(const QRect& available) const;

    void UpdateChangedFeatures() override;
    void ApplyColorScheme() override;

public slots:
    // While the camera streams, presets (which reset the camera) are locked.
    void disableContents(bool streamingIsOn);

private slots:
    void SetCustomPreset() override;
    // Frequency (Hz) and duty cycle (% active) to the timer's TimerDuration
    // and TimerDelay (µs); writes nothing for a missing, zero or negative one.
    void calculatePWM();
    // The timer's delay and duration back to frequency and duty cycle; only
    // while PWM mode is on.
    void reverseCalcPWM();
    // On: the timer restarts itself at the falling edge of its own active
    // signal, so it runs periodically.
    void enablePWM(bool on);

protected:
    // Remembers the window's size and open sections when the window closes.
    void hideEvent(QHideEvent* event) override;

private:
    QList<CollapsingButton*> SectionButtons() const;
    void RestoreSections();
    QSize DefaultWindowSize() const;

    Ui::AdvTriggerDialog ui;
};

#endif
