#ifndef WIDGETS_ADVTRIGGERBASE_H
#define WIDGETS_ADVTRIGGERBASE_H

#include "features/featuremanager.h"
#include "widgets/basetabpluginwidget.h"

#include <QHash>
#include <QList>
#include <QLocale>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class QAbstractSpinBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QTableWidget;
class QTimer;
class QTreeView;
class SettingsTreeModel;

// Turns any form into a live editor of camera features: a child widget is
// bound to the feature its object name names after a three-letter prefix
// ("cmbTriggerMode" edits TriggerMode). The tab page and the advanced
// dialog derive from it.
//
// Edits write the camera and show what it holds afterwards; camera-side
// changes come back through the once-a-second refresh with the widgets'
// signals blocked, so a refresh never writes to the camera.
class AdvTriggerBase : public BaseTabPluginWidget
{
    Q_OBJECT

public:
    // Throws TENotSupported for a camera of another vendor.
    AdvTriggerBase(const CameraFeatureList& features, QWidget* parent);
    ~AdvTriggerBase() override;

    // Filters wheel events on unfocused combo and spin boxes (so scrolling a
    // page never changes a value by accident) and tooltip events (feature
    // information on request, nothing while tooltips are off).
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Fills a combo box with the entries that can be chosen now and selects
    // the current one (none when it is not among them); enabled when the
    // feature is writable. Does not block the box's signals.
    void FillComboBox(QString featureName, QComboBox* box);

    // Binds every feature-named child widget once: range, validator, value,
    // enabled state, change observation, and connections to the handlers
    // and to SetCustomPreset. Widgets whose feature is missing are disabled
    // unless listed in nonFeatureWidgets.
    void BindFeatureWidgets();
    // Re-reads the features in changedFeatures into their widgets, selector
    // features first, with the widgets' signals blocked; announces each
    // value with FeatureChanged. The caller holds changeMutex.
    void RefreshFeatureWidgets();
    // Shows the status tree in `view` and keeps it following FeatureChanged.
    void AttachStatusTree(QTreeView* view);

    // The I/O line table: one row per available line, one cell widget per
    // line feature (named prefix + line + "_" + feature, as cmbLine0_LineMode),
    // columns of missing features hidden; debounce columns only when the
    // table has more than four. Leaves LineSelector at the last line.
    void BuildLineTable(QTableWidget* table);
    // Re-reads the cells of the line features in changedFeatures, line by
    // line, and puts LineSelector back. LineSelector is left alone when no
    // line feature changed, and for LineStatus alone when RefreshLineStatus
    // could light the LEDs. The caller holds changeMutex.
    void RefreshLineTable(QTableWidget* table);
    // Lights the LEDs of every line from one read of LineStatusAll (bit n for
    // the line whose LineSelector entry is numbered n). False when the camera
    // has no LineStatusAll, the table no LEDs, or the read failed; the LEDs
    // then follow LineStatus line by line. The views run it on every tick,
    // and the table ten times a second while visible: line levels change by
    // themselves.
    bool RefreshLineStatus(QTableWidget* table);
    // Selects the cell's line on the camera and returns the cell's feature,
    // or an empty text when the name does not parse or the line did not take.
    QString ParseCellName(QString objectName);

    // Fills the preset box from the presets file in the host's plugins
    // folder: one entry per preset, the body as user data, the description
    // as tooltip. A preset naming a feature, command or entry this camera
    // lacks (and does not list in "#optional") is greyed out, the reason
    // added to its tooltip. A broken file leaves the box empty and marked
    // with what is wrong (file:line:column for a syntax error), which the
    // host hears of through CameraAccessFailed.
    void LoadPresets(QComboBox* presetBox, const QString& applicationDir);
    // Writes one preset value; an empty text on success, else a failure line.
    QString SetPresetFeature(const QString& featureName, const QVariant& value);
    // A dry run over the presets file `path` (empty: the one LoadPresets
    // would read from the host's folder): per preset, what choosing it would
    // write, in order, and what this camera lacks or would refuse. Writes no
    // setting; selectors are moved to look behind them and put back.
    // Returns "report" (the text), "parsed" (the file was read and is JSON)
    // and "error" (why nothing is offered, if so). Invokable by name, for
    // hosts that check files without showing the page.
    Q_INVOKABLE QVariantMap CheckPresets(const QString& path);

    // The text a line edit shows for a feature: the entry or string, the
    // number with six significant digits (written as NumberLocale writes
    // it), or "0x" and upper-case hex digits for a HexNumber feature; null
    // when the feature cannot be read.
    QString ValueText(const QString& featureName);
    static QString HexText(double value);
    static QString HexText(qint64 value);

    // The text of a widget's failure mark: what failed and the camera's
    // code, as "Reading TriggerDelay failed: IO (-20)".
    QString FailureText(const QString& featureName, const FeatureManager::Failure& failure) const;

signals:
    void FeatureChanged(QString featureName, QVariant value);
    void CamStreamingOn(bool on);
    // A widget was just marked because the camera failed an access of its
    // feature: the failure text, for the host's status line.
    void CameraAccessFailed(QString message);
    // What a user's action came to, for the host's status line: a command
    // sent or refused, a preset applied, a typed number set to the limit or
    // not taken. A view opened from another view (the dialog from the page)
    // speaks through the other view's signal as well.
    void StatusMessage(QString message);

protected slots:
    void OnChangeComboboxSelection(const QString& currentText);
    void OnFinishLineEdit();
    void OnChangeSpinbox(int value);
    void OnChangeDoubleSpinbox(double value);
    void OnChangeCheckbox(int state);
    void OnExecuteCommandButton();
    void OnSelectPreset(int idx);
    void OnChangeTableSpinbox(double value);
    void OnChangeTableCombobox(const QString& currentText);
    void OnChangeTableCheckbox(int state);
    // Switches the view's preset box to "Custom" after a manual edit.
    virtual void SetCustomPreset() = 0;
    void ActivateTooltips(int state);

protected:
    // The colour of the views' hint labels, readable on the current palette.
    QString HintStyleSheet() const;
    // Numbers are typed and shown in the user's locale, in the tab and the
    // dialog alike (the forms' own locale is left aside), without group
    // separators: "12,5" and "1234" in German. The binding gives it to the
    // spin boxes and number fields.
    QLocale NumberLocale() const;
    QString NumberText(double value) const;
    // Makes `edit` a field for numbers from `bottom` (or just above it, when
    // not `bottomIncluded`) to `top`. Any number can be typed out; a text
    // that cannot be taken is marked while typed and, when Return is pressed
    // or the field is left, refused with a status message; only a number in
    // range (or an empty text) finishes the edit.
    void MakeNumberField(QLineEdit* edit, double bottom, double top, int decimals, bool bottomIncluded = true);
    enum class FieldInput { Empty, Number, Refused };
    // The finished text of a number field: Number with `value` when it is a
    // number in the field's range; Refused, the field marked and the user
    // told that nothing was written, when not; Empty for an empty field.
    FieldInput ReadNumberField(QLineEdit* edit, double& value);
    // Marks a widget whose typed input cannot be taken (with `text` as its
    // tooltip, even with tooltips off); an empty text clears the mark.
    void SetInputMark(QWidget* widget, const QString& text);

    // Marks `widget` when an access of `featureName` failed since the
    // failure serial `since` (a red glow, and the failure in its tooltip,
    // even with tooltips off), and clears the mark when none did. A widget
    // never shows a default as if the camera held it unmarked.
    void ShowAccessState(QWidget* widget, const QString& featureName, quint64 since);

    bool tooltipsActive = false;
    // Keeps the camera's feature list alive; handed on to the dialog.
    CameraFeatureList featureList;
    SettingsTreeModel* statusModel = nullptr;
    // Feature name to information text, fetched at the first hover.
    QMap<QString, QString> informationCache;
    // Form widgets that are not features: never disabled for lack of a
    // feature, never given a feature tooltip.
    QStringList nonFeatureWidgets;

private:
    // LineSelector's entry numbers, read when the line table was built.
    QHash<QString, qint64> lineBits;
    // Whether the last RefreshLineStatus lit the LEDs.
    bool lineStatusAllRead = false;
    // Lights the LEDs ten times a second while the view is visible.
    QTimer* lineLevelTimer = nullptr;
    // How deep OnSelectPreset runs: it runs "Turn Off All" from inside itself.
    int presetDepth = 0;
    // How many writes of the current preset choice (the automatic "Turn Off
    // All" included) failed.
    int presetFailures = 0;
    QString lastReportedFailure;
    // Every widget that shows a feature's value (bound widgets, table cells).
    QList<QPointer<QWidget>> featureWidgets;
    // Set at the first access that found the camera gone.
    bool cameraGone = false;

    bool IsHexFeature(const QString& featureName);
    // A bound widget's feature is observed, follows selector moves and is
    // marked when the camera fails it; returns the failure serial the
    // widget's first reads start from.
    quint64 Enrol(QWidget* widget, const QString& feature);
    // Marks a widget with a failure text, or clears its mark for an empty one.
    void SetMark(QWidget* widget, const QString& text);
    // The red glow while a widget carries a failure or an input mark.
    static void UpdateGlow(QWidget* widget);
    // What the user calls a field: its caption without the colon, else its feature.
    QString Caption(const QWidget* field) const;
    // Why the number field's text cannot be taken; empty when it can. While
    // `typing`, a number not finished yet ("-", "12,") is no reason.
    QString NumberProblem(const QLineEdit* edit, bool typing) const;
    // A bound spin box takes numbers beyond its limits while they are typed,
    // marked; finishing one sets the limit and says so.
    void AllowTypingBeyondLimits(QAbstractSpinBox* box);
    void MarkTypedBeyondLimits(QAbstractSpinBox* box);
    void SetTypedLimit(QAbstractSpinBox* box);
    // What a command did, or why the camera did not run it.
    QString CommandOutcome(const QString& command, bool ran, quint64 since);
    // Shows a debounce duration cell for the selected line: empty and
    // disabled while the line has no duration to show (an output line).
    void ShowDebounceDuration(QDoubleSpinBox* box, quint64 rowSince);
    // Whether a cell of `feature` has something to show for the selected line.
    bool CellReadable(const QString& feature);
    // ShowAccessState for a table cell read after its line was selected
    // (the failure serials from before the selection and before the cell's
    // own reads).
    void ShowCellState(QWidget* cell, const QString& feature, quint64 rowSince, quint64 since);
    // ParseCellName for the sending cell; when its line cannot be selected,
    // the cell shows no value and carries the mark of the failed selection.
    QString SelectCellLine(QObject* cell);
    // Write the sender's new value and show what the camera holds then, with
    // the sender's signals blocked.
    void WriteComboBox(QObject* sender, const QString& feature, const QString& text);
    void WriteCheckBox(QObject* sender, const QString& feature, int state);
};

#endif
