#include "widgets/advtriggerbase.h"

#include "features/featuremanager.h"
#include "kelcpp/kelcpptypes.h"
#include "presets/presetapplier.h"
#include "presets/presetsfile.h"
#include "presets/settingstreemodel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QDoubleValidator>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>

#include <algorithm>
#include <cmath>
#include <utility>
#include <limits>

namespace {

// Data types that are shown as text rather than numbers.
constexpr int TypeEnumeration = KelCPP::KelFeatureDataEnum;
constexpr int TypeString = KelCPP::KelFeatureDataString;

// Characters of the type prefix ("cmb", "txt", ...) before the feature name.
constexpr int PrefixLength = 3;

const QString HexRepresentation = QStringLiteral("HexNumber");
const QString SpinBoxEditorName = QStringLiteral("qt_spinbox_lineedit");
const QString TriggerSoftware = QStringLiteral("TriggerSoftware");
const QString TriggerSource = QStringLiteral("TriggerSource");

const QString LineSelector = QStringLiteral("LineSelector");
const QString LineMode = QStringLiteral("LineMode");
const QString LineInverter = QStringLiteral("LineInverter");
const QString LineSource = QStringLiteral("LineSource");
const QString LineStatus = QStringLiteral("LineStatus");
const QString LineStatusAll = QStringLiteral("LineStatusAll");
const QString LineDebounceMode = QStringLiteral("LineDebounceMode");
const QString LineDebounceDuration = QStringLiteral("LineDebounceDuration");
const QString LedPicture = QStringLiteral(":/AdvTriggerWidget/ledon.png");

// The dynamic property that holds a widget's failure text while it is marked.
const char FailureProperty[] = "cameraFailure";
// The same for typed input that cannot be taken.
const char InputProperty[] = "inputProblem";
// Set on a debounce duration cell built while its range could not be read.
const char RangeUnknownProperty[] = "rangeUnknown";

// Columns of the I/O line table; the last two only in tables wider than four.
enum LineColumn { ModeColumn, InverterColumn, SourceColumn, StatusColumn, DebounceModeColumn,
                  DebounceDurationColumn };
constexpr int BasicLineColumns = 4;
// The LEDs between the one-second ticks: a 1 Hz input must be seen to blink.
constexpr int LineLevelIntervalMs = 100;

QString CellName(const char* prefix, const QString& line, const QString& feature)
{
    return QStringLiteral("%1%2_%3").arg(QLatin1String(prefix), line, feature);
}

const char ToolTipStyle[] = " QToolTip { padding: 3px; color: black; background-color: lightyellow; "
                            "border: 1px solid lightgrey; }";

// The validator of a number field. It refuses only what can never be part
// of a number: a number outside the range, too many digits or the other
// decimal separator stay in the field as not finished, so that the field
// can say what is wrong with them instead of swallowing the keystroke. An
// empty text is acceptable (a bound line edit writes 0 for it).
class NumberValidator : public QDoubleValidator
{
public:
    NumberValidator(double bottom, double top, int decimals, bool bottomIncluded, const QLocale& locale, QObject* parent)
        : QDoubleValidator(bottom, top, decimals, parent), bottomIncluded(bottomIncluded)
    {
        setLocale(locale);
    }

    State validate(QString& input, int&) const override
    {
        static const QRegularExpression numberCharacters(QStringLiteral("^[-+0-9.,eE]*$"));
        if (input.isEmpty())
            return Acceptable;
        if (!numberCharacters.match(input).hasMatch())
            return Invalid;
        bool isNumber = false;
        const double number = locale().toDouble(input, &isNumber);
        return isNumber && InRange(number) ? Acceptable : Intermediate;
    }

    bool InRange(double number) const
    {
        return number <= top() && (number > bottom() || (bottomIncluded && number == bottom()));
    }

    const bool bottomIncluded;
};

// Keeps a spin box's own validation, except that a number beyond its limits
// may be typed out in full (the box refuses its last digit otherwise).
class BeyondLimitsValidator : public QValidator
{
public:
    BeyondLimitsValidator(QAbstractSpinBox* box, const QValidator* own, QObject* parent)
        : QValidator(parent), box(box), own(own)
    {
    }

    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override
    {
        if (own)
            own->fixup(input);
    }

private:
    QPointer<QAbstractSpinBox> box;
    QPointer<const QValidator> own;
};

// A spin box's limits and the number typed into it, if it is one.
struct TypedInSpinBox {
    double minimum = 0.0;
    double maximum = 0.0;
    bool isNumber = false;
    double number = 0.0;
    QString text; // without prefix and suffix
    bool BeyondLimits() const { return isNumber && (number < minimum || number > maximum); }
};

TypedInSpinBox Typed(const QAbstractSpinBox* box, QString text)
{
    TypedInSpinBox typed;
    QString prefix, suffix;
    if (auto* integer = qobject_cast<const QSpinBox*>(box)) {
        typed.minimum = integer->minimum();
        typed.maximum = integer->maximum();
        prefix = integer->prefix();
        suffix = integer->suffix();
    } else if (auto* real = qobject_cast<const QDoubleSpinBox*>(box)) {
        typed.minimum = real->minimum();
        typed.maximum = real->maximum();
        prefix = real->prefix();
        suffix = real->suffix();
    } else {
        return typed;
    }
    if (!prefix.isEmpty() && text.startsWith(prefix))
        text.remove(0, prefix.size());
    if (!suffix.isEmpty() && text.endsWith(suffix))
        text.chop(suffix.size());
    typed.text = text.trimmed();
    typed.number = box->locale().toDouble(typed.text, &typed.isNumber);
    return typed;
}

QValidator::State BeyondLimitsValidator::validate(QString& input, int& pos) const
{
    const State state = own ? own->validate(input, pos) : Acceptable;
    if (state != Invalid || !box)
        return state;
    return Typed(box, input).BeyondLimits() ? Intermediate : Invalid;
}

// Leaving a field or a key that finishes what was typed into it; in a spin
// box also the keys that step from it.
bool FinishesTyping(const QEvent* event, bool spinBox)
{
    if (event->type() == QEvent::FocusOut)
        return true;
    if (event->type() != QEvent::KeyPress)
        return false;
    switch (static_cast<const QKeyEvent*>(event)->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return spinBox;
    default:
        return false;
    }
}

// Spin boxes hold int; feature limits beyond its range are pinned to it.
int ToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value <= std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

// The handlers' sender as the widget class they expect; null, with the
// warning, for another class.
template <typename Widget>
Widget* SenderAs(QObject* sender)
{
    auto* widget = qobject_cast<Widget*>(sender);
    if (!widget)
        qWarning("Error accessing widget '%s'", sender->objectName().toLatin1().constData());
    return widget;
}

// Limits as the user reads them: 1000000 rather than 1e+06.
QString LimitText(const QLocale& locale, double value)
{
    return locale.toString(value, 'g', 12);
}

// The lines of a preset run's error text that each stand for one failure
// (the lines naming a selector value, indented further, belong to the one before).
int FailureCount(const QString& errors)
{
    int failures = 0;
    for (const QString& line : errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("  ")) && !line.startsWith(QLatin1String("   ")))
            ++failures;
    }
    return failures;
}

} // namespace

AdvTriggerBase::AdvTriggerBase(const CameraFeatureList& features, QWidget* parent)
    : BaseTabPluginWidget(features, parent)
{
    tooltipsActive = false;
    featureList = features;
    statusModel = new SettingsTreeModel(featureManager, this);
    observedFeatures << QStringLiteral("TriggerSelector") << QStringLiteral("TriggerMode")
                     << QStringLiteral("CounterSelector") << QStringLiteral("CounterEventSource")
                     << QStringLiteral("TimerSelector") << QStringLiteral("TimerTriggerSource");
    setStyleSheet(styleSheet() + QLatin1String(ToolTipStyle));
    // The host listens to the view it was given: a view opened from it (the
    // dialog, in a window of the page's) is heard through that one.
    for (QObject* outer = parent; outer; outer = outer->parent()) {
        if (qobject_cast<AdvTriggerBase*>(outer)) {
            connect(this, SIGNAL(StatusMessage(QString)), outer, SIGNAL(StatusMessage(QString)));
            break;
        }
    }
}

AdvTriggerBase::~AdvTriggerBase()
{
    delete statusModel;
}

// --- events and value texts ----------------------------------------------

bool AdvTriggerBase::eventFilter(QObject* watched, QEvent* event)
{
    // Before the widget itself would put back its last value, or keep a
    // text it does not take, without a word.
    if (FinishesTyping(event, true)) {
        if (auto* box = qobject_cast<QAbstractSpinBox*>(watched)) {
            SetTypedLimit(box);
        } else if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && FinishesTyping(event, false)
                   && !edit->signalsBlocked() && !edit->hasAcceptableInput()
                   && dynamic_cast<const NumberValidator*>(edit->validator())) {
            double unused = 0.0;
            ReadNumberField(edit, unused); // refuses it, saying why
        }
        return false;
    }
    if (event->type() == QEvent::Wheel) {
        const QString className = QString::fromLatin1(watched->metaObject()->className());
        auto* widget = qobject_cast<QWidget*>(watched);
        if ((className == QLatin1String("QComboBox") || className == QLatin1String("QSpinBox")
             || className == QLatin1String("QDoubleSpinBox"))
            && widget && !widget->hasFocus()) {
            // Left unaccepted, so the parents (a scroll area) get the wheel.
            event->ignore();
            return true;
        }
        return false;
    }
    if (event->type() != QEvent::ToolTip)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    // Typed input that cannot be taken says why, and what can be.
    const QString input = widget ? widget->property(InputProperty).toString() : QString();
    if (!input.isEmpty()) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), input, widget);
        return true;
    }
    // A marked widget always says what failed: the user must not take what
    // it shows for the camera's value.
    const QString failure = widget ? widget->property(FailureProperty).toString() : QString();
    if (!failure.isEmpty() && !tooltipsActive) {
        widget->setToolTip(failure.toHtmlEscaped());
        return false;
    }
    if (!tooltipsActive)
        return true;
    if (!widget || nonFeatureWidgets.contains(widget->objectName()))
        return false;

    const QString objectName = widget->objectName();
    QString key = objectName.mid(PrefixLength);
    if (!observedFeatures.contains(key) && key.contains(QLatin1Char('_')))
        key = objectName.split(QLatin1Char('_')).value(1); // a table cell: "cmbLine0_LineMode"
    if (!informationCache.contains(key) && featureManager->HasFeature(key))
        informationCache[key] = featureManager->GetInformation(key);
    // operator[] remembers a name without a feature as an empty tooltip.
    const QString& information = informationCache[key];
    widget->setToolTip(failure.isEmpty() ? information
                                         : QStringLiteral("<b>%1</b><br/>%2").arg(failure.toHtmlEscaped(), information));
    return false;
}

void AdvTriggerBase::FillComboBox(QString featureName, QComboBox* box)
{
    if (!box)
        return;
    const QString current = featureManager->GetStringValue(featureName);
    const QStringList entries = featureManager->GetAvailableEntries(featureName);
    box->clear();
    box->insertItems(0, entries);
    box->setCurrentIndex(entries.indexOf(current));
    box->setEnabled(featureManager->IsWritable(featureName));
}

bool AdvTriggerBase::IsHexFeature(const QString& featureName)
{
    return featureManager->GetRepresentation(featureName) == HexRepresentation;
}

QString AdvTriggerBase::HexText(double value)
{
    return HexText(static_cast<qint64>(value));
}

QString AdvTriggerBase::HexText(qint64 value)
{
    return QStringLiteral("0x%1").arg(QString::number(value, 16).toUpper());
}

QString AdvTriggerBase::FailureText(const QString& featureName, const FeatureManager::Failure& failure) const
{
    const QString code = QStringLiteral("%1 (%2)").arg(QLatin1String(KelCPP::KelError::Name(failure.code))).arg(failure.code);
    switch (failure.action) {
    case FeatureManager::Failure::Action::Write: return tr("Writing %1 failed: %2").arg(featureName, code);
    case FeatureManager::Failure::Action::Run: return tr("Running %1 failed: %2").arg(featureName, code);
    default: return tr("Reading %1 failed: %2").arg(featureName, code);
    }
}

void AdvTriggerBase::ShowAccessState(QWidget* widget, const QString& featureName, quint64 since)
{
    if (!widget)
        return;
    const FeatureManager::Failure failure = featureManager->LastFailure(featureName);
    const bool failed = failure.serial > since;
    const QString text = failed ? FailureText(featureName, failure) : QString();
    if (failed && failure.code == KelCPP::KelError::NotOpen && !cameraGone) {
        // A camera that is gone will not notify what changed on it: nothing
        // any widget shows can be trusted any more.
        cameraGone = true;
        for (const QPointer<QWidget>& other : std::as_const(featureWidgets))
            SetMark(other, text);
    }
    SetMark(widget, text);
}

void AdvTriggerBase::UpdateGlow(QWidget* widget)
{
    const bool marked = !widget->property(FailureProperty).toString().isEmpty()
                        || !widget->property(InputProperty).toString().isEmpty();
    if (!marked) {
        widget->setGraphicsEffect(nullptr);
        return;
    }
    if (widget->graphicsEffect())
        return;
    // A glow rather than a style sheet: the widget keeps its own look.
    auto* glow = new QGraphicsDropShadowEffect();
    glow->setColor(Qt::red);
    glow->setOffset(0, 0);
    glow->setBlurRadius(8);
    widget->setGraphicsEffect(glow);
}

void AdvTriggerBase::SetInputMark(QWidget* widget, const QString& text)
{
    if (!widget || widget->property(InputProperty).toString() == text)
        return;
    widget->setProperty(InputProperty, text);
    UpdateGlow(widget);
}

void AdvTriggerBase::SetMark(QWidget* widget, const QString& text)
{
    if (!widget || widget->property(FailureProperty).toString() == text)
        return;
    widget->setProperty(FailureProperty, text);
    UpdateGlow(widget);
    if (text.isEmpty()) {
        lastReportedFailure.clear(); // the camera answers again: a new failure is news
        return;
    }
    // One failure often marks several widgets (every LED of the lines): the
    // host hears of it once.
    if (text != lastReportedFailure) {
        lastReportedFailure = text;
        emit CameraAccessFailed(text);
    }
}

QString AdvTriggerBase::ValueText(const QString& featureName)
{
    if (!featureManager->IsReadable(featureName))
        return QString();
    const int type = featureManager->GetDataType(featureName);
    if (type == TypeEnumeration || type == TypeString)
        return featureManager->GetStringValue(featureName);
    if (IsHexFeature(featureName)) {
        // Clock IDs and keys use all 64 bits, more than a double holds.
        qint64 integer = -1;
        if (type == KelCPP::KelFeatureDataInt)
            featureManager->GetInteger(featureName, integer);
        else
            integer = static_cast<qint64>(featureManager->GetValue(featureName));
        return HexText(integer);
    }
    return NumberText(featureManager->GetValue(featureName));
}

// --- typed numbers -----------------------------------------------------------

QLocale AdvTriggerBase::NumberLocale() const
{
    // The user's, not the forms' (which name English): the tab and the dialog
    // write numbers one way. "1.000" would be a thousand in German, and a
    // thousand is shown as 1000.
    QLocale numbers;
    numbers.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return numbers;
}

QString AdvTriggerBase::NumberText(double value) const
{
    return NumberLocale().toString(value, 'g', 6);
}

void AdvTriggerBase::MakeNumberField(QLineEdit* edit, double bottom, double top, int decimals, bool bottomIncluded)
{
    edit->setLocale(NumberLocale());
    edit->setValidator(new NumberValidator(bottom, top, decimals, bottomIncluded, NumberLocale(), this));
    edit->installEventFilter(this); // hears Return and leaving while the text is not taken
    // Marked while typed, told when finished (ReadNumberField).
    connect(edit, &QLineEdit::textEdited, this, [this, edit] { SetInputMark(edit, NumberProblem(edit, true)); });
}

QString AdvTriggerBase::Caption(const QWidget* field) const
{
    const QString feature = field->objectName().mid(PrefixLength);
    const QLabel* caption = findChild<QLabel*>(QStringLiteral("lbl") + feature);
    if (!caption) {
        for (const QLabel* label : findChildren<QLabel*>()) {
            if (label->buddy() == field) {
                caption = label;
                break;
            }
        }
    }
    QString text = caption ? caption->text().remove(QLatin1Char('&')).trimmed() : QString();
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.isEmpty() ? feature : text;
}

QString AdvTriggerBase::NumberProblem(const QLineEdit* edit, bool typing) const
{
    const auto* field = dynamic_cast<const NumberValidator*>(edit->validator());
    const QString text = edit->text().trimmed();
    if (!field || text.isEmpty())
        return QString();
    const QLocale numbers = NumberLocale();
    bool isNumber = false;
    const double number = numbers.toDouble(text, &isNumber);
    if (!isNumber) {
        // Half a number is no mistake while it is typed.
        const QRegularExpression unfinished(QStringLiteral("^[-+]?[0-9]*(%1[0-9]*)?([eE][-+]?)?$")
                                                .arg(QRegularExpression::escape(numbers.decimalPoint())));
        if (typing && unfinished.match(text).hasMatch())
            return QString();
        return tr("\"%1\" is not a number: write it like %2.").arg(text, numbers.toString(12.5));
    }
    if (field->InRange(number))
        return QString();
    const double bottom = field->bottom(), top = field->top();
    const QString range = field->bottomIncluded
                              ? tr("%1 to %2").arg(LimitText(numbers, bottom), LimitText(numbers, top))
                              : tr("more than %1 up to %2").arg(LimitText(numbers, bottom), LimitText(numbers, top));
    return tr("%1 is out of range: allowed is %2.").arg(text, range);
}

AdvTriggerBase::FieldInput AdvTriggerBase::ReadNumberField(QLineEdit* edit, double& value)
{
    const QString problem = NumberProblem(edit, false);
    SetInputMark(edit, problem);
    if (!problem.isEmpty()) {
        emit StatusMessage(tr("%1: %2 Nothing was written.").arg(Caption(edit), problem));
        return FieldInput::Refused;
    }
    if (edit->text().trimmed().isEmpty())
        return FieldInput::Empty;
    value = NumberLocale().toDouble(edit->text().trimmed());
    return FieldInput::Number;
}

void AdvTriggerBase::AllowTypingBeyondLimits(QAbstractSpinBox* box)
{
    auto* edit = box->findChild<QLineEdit*>(SpinBoxEditorName);
    if (!edit || dynamic_cast<const BeyondLimitsValidator*>(edit->validator()))
        return;
    edit->setValidator(new BeyondLimitsValidator(box, edit->validator(), box));
    connect(edit, &QLineEdit::textEdited, this, [this, box] { MarkTypedBeyondLimits(box); });
}

void AdvTriggerBase::MarkTypedBeyondLimits(QAbstractSpinBox* box)
{
    const TypedInSpinBox typed = Typed(box, box->text());
    const QLocale numbers = NumberLocale();
    SetInputMark(box, typed.BeyondLimits() ? tr("Allowed: %1 to %2. A number beyond is set to the limit.")
                                                 .arg(LimitText(numbers, typed.minimum), LimitText(numbers, typed.maximum))
                                           : QString());
}

void AdvTriggerBase::SetTypedLimit(QAbstractSpinBox* box)
{
    auto* edit = box->findChild<QLineEdit*>(SpinBoxEditorName);
    if (!edit || !dynamic_cast<const BeyondLimitsValidator*>(edit->validator()))
        return;
    const TypedInSpinBox typed = Typed(box, box->text());
    if (!typed.BeyondLimits())
        return;
    const bool above = typed.number > typed.maximum;
    const double limit = above ? typed.maximum : typed.minimum;
    // Written as any value of the box is; the box then shows what the camera took.
    if (auto* integer = qobject_cast<QSpinBox*>(box))
        integer->setValue(static_cast<int>(limit));
    else if (auto* real = qobject_cast<QDoubleSpinBox*>(box))
        real->setValue(limit);
    SetInputMark(box, QString());
    const QString shown = qobject_cast<QSpinBox*>(box) ? static_cast<QSpinBox*>(box)->cleanText()
                                                       : static_cast<QDoubleSpinBox*>(box)->cleanText();
    emit StatusMessage(above ? tr("%1: %2 is above the maximum; set to %3.").arg(Caption(box), typed.text, shown)
                             : tr("%1: %2 is below the minimum; set to %3.").arg(Caption(box), typed.text, shown));
}

// --- binding ---------------------------------------------------------------

quint64 AdvTriggerBase::Enrol(QWidget* widget, const QString& feature)
{
    observedFeatures.append(feature);
    selectorFollowers.insert(feature);
    featureWidgets.append(widget);
    return featureManager->FailureSerial();
}

void AdvTriggerBase::BindFeatureWidgets()
{
    auto featureOf = [](const QWidget* widget) { return widget->objectName().mid(PrefixLength); };
    // A widget whose feature is missing stays usable only if the form says
    // it is not a feature at all.
    auto disableMissing = [this](QWidget* widget) {
        if (!nonFeatureWidgets.contains(widget->objectName()))
            widget->setEnabled(false);
    };

    for (QComboBox* box : findChildren<QComboBox*>(QString())) {
        const QString feature = featureOf(box);
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(this);
        if (!featureManager->HasFeature(feature)) {
            disableMissing(box);
            continue;
        }
        const quint64 since = Enrol(box, feature);
        FillComboBox(feature, box);
        ShowAccessState(box, feature, since);
        connect(box, SIGNAL(currentTextChanged(const QString&)), this,
                SLOT(OnChangeComboboxSelection(const QString&)));
        connect(box, SIGNAL(currentTextChanged(const QString&)), this, SLOT(SetCustomPreset()));
    }

    for (QLineEdit* edit : findChildren<QLineEdit*>(QString())) {
        if (edit->objectName() == SpinBoxEditorName)
            continue;
        const QString feature = featureOf(edit);
        edit->installEventFilter(this);
        if (!featureManager->HasFeature(feature)) {
            disableMissing(edit);
            continue;
        }
        const quint64 since = Enrol(edit, feature);
        const bool writable = featureManager->IsWritable(feature);
        const QString text = ValueText(feature);
        const int type = featureManager->GetDataType(feature);
        if (writable && type != TypeEnumeration && type != TypeString) {
            if (IsHexFeature(feature)) {
                edit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("0x([0-9a-fA-F]){1,16}")), edit));
            } else {
                double min = 0.0, max = 0.0, increment = 0.0;
                featureManager->GetValueRangeIncrement(feature, min, max, increment);
                MakeNumberField(edit, min, max, 10);
            }
        }
        edit->setText(text);
        edit->setEnabled(writable);
        ShowAccessState(edit, feature, since);
        connect(edit, SIGNAL(editingFinished()), this, SLOT(OnFinishLineEdit()));
        connect(edit, SIGNAL(editingFinished()), this, SLOT(SetCustomPreset()));
    }

    for (QDoubleSpinBox* box : findChildren<QDoubleSpinBox*>(QString())) {
        const QString feature = featureOf(box);
        if (!featureManager->HasFeature(feature)) {
            disableMissing(box);
            continue;
        }
        const quint64 since = Enrol(box, feature);
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(this);
        box->setLocale(NumberLocale());
        double min = 0.0, max = 0.0, increment = 0.0;
        const double value = featureManager->GetValueRangeIncrement(feature, min, max, increment);
        box->setRange(min, max);
        box->setValue(value);
        box->setEnabled(featureManager->IsWritable(feature));
        ShowAccessState(box, feature, since);
        AllowTypingBeyondLimits(box);
        connect(box, SIGNAL(valueChanged(double)), this, SLOT(OnChangeDoubleSpinbox(double)));
        connect(box, SIGNAL(valueChanged(double)), this, SLOT(SetCustomPreset()));
    }

    for (QSpinBox* box : findChildren<QSpinBox*>(QString())) {
        const QString feature = featureOf(box);
        if (!featureManager->HasFeature(feature)) {
            disableMissing(box);
            continue;
        }
        const quint64 since = Enrol(box, feature);
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(this);
        box->setLocale(NumberLocale());
        box->setEnabled(featureManager->IsWritable(feature));
        double min = 0.0, max = 0.0, increment = 0.0;
        const double value = featureManager->GetValueRangeIncrement(feature, min, max, increment);
        box->setRange(ToInt(min), ToInt(max));
        box->setValue(ToInt(value));
        ShowAccessState(box, feature, since);
        AllowTypingBeyondLimits(box);
        connect(box, SIGNAL(valueChanged(int)), this, SLOT(OnChangeSpinbox(int)));
        connect(box, SIGNAL(valueChanged(int)), this, SLOT(SetCustomPreset()));
    }

    for (QCheckBox* box : findChildren<QCheckBox*>(QString())) {
        const QString feature = featureOf(box);
        box->installEventFilter(this);
        if (!featureManager->HasFeature(feature)) {
            disableMissing(box);
            continue;
        }
        const quint64 since = Enrol(box, feature);
        box->setChecked(featureManager->GetValue(feature) != 0.0);
        box->setEnabled(featureManager->IsWritable(feature));
        ShowAccessState(box, feature, since);
        connect(box, SIGNAL(stateChanged(int)), this, SLOT(OnChangeCheckbox(int)));
        connect(box, SIGNAL(stateChanged(int)), this, SLOT(SetCustomPreset()));
    }

    for (QPushButton* button : findChildren<QPushButton*>(QString())) {
        const QString feature = featureOf(button);
        button->installEventFilter(this);
        if (featureManager->HasFeature(feature)) {
            // Commands are run, not watched: no observation.
            const quint64 since = featureManager->FailureSerial();
            featureWidgets.append(button);
            button->setEnabled(featureManager->IsWritable(feature));
            ShowAccessState(button, feature, since);
            connect(button, SIGNAL(clicked()), this, SLOT(OnExecuteCommandButton()));
        } else {
            disableMissing(button);
        }
        button->setAutoDefault(false);
        if (feature == TriggerSoftware)
            button->setEnabled(featureManager->GetStringValue(TriggerSource) == QLatin1String("Software"));
    }
}

// --- refresh ---------------------------------------------------------------

void AdvTriggerBase::RefreshFeatureWidgets()
{
    // Selectors first, so that the values they select are announced after
    // the selector itself.
    QStringList ordered;
    for (const QString& name : *changedFeatures) {
        if (name.contains(QLatin1String("Selector")))
            ordered.append(name);
    }
    for (const QString& name : *changedFeatures) {
        if (!name.contains(QLatin1String("Selector")))
            ordered.append(name);
    }

    for (const QString& name : ordered) {
        const QRegularExpression pattern(QStringLiteral("^[a-z]{3}%1").arg(name));
        bool found = false;
        for (QWidget* widget : findChildren<QWidget*>(pattern)) {
            if (widget->objectName().mid(PrefixLength) != name)
                continue;
            found = true;
            const QSignalBlocker block(widget);
            const quint64 since = featureManager->FailureSerial();
            const QString className = QString::fromLatin1(widget->metaObject()->className());
            QVariant value;
            if (className == QLatin1String("QComboBox")) {
                auto* box = static_cast<QComboBox*>(widget);
                FillComboBox(name, box);
                value = box->currentText();
            } else if (className == QLatin1String("QLineEdit")) {
                auto* edit = static_cast<QLineEdit*>(widget);
                // ValueText asks whether the feature is readable: null when not.
                const QString text = ValueText(name);
                if (!text.isNull()) {
                    edit->setText(text);
                    SetInputMark(edit, QString()); // what was typed is gone
                    value = text;
                }
                edit->setEnabled(featureManager->IsWritable(name));
            } else if (className == QLatin1String("QSpinBox")) {
                auto* box = static_cast<QSpinBox*>(widget);
                double min = 0.0, max = 0.0, increment = 0.0;
                value = featureManager->GetValueRangeIncrement(name, min, max, increment);
                box->setRange(ToInt(min), ToInt(max));
                box->setValue(ToInt(value.toDouble()));
                box->setEnabled(featureManager->IsWritable(name));
                SetInputMark(box, QString());
            } else if (className == QLatin1String("QDoubleSpinBox")) {
                auto* box = static_cast<QDoubleSpinBox*>(widget);
                double min = 0.0, max = 0.0, increment = 0.0;
                value = featureManager->GetValueRangeIncrement(name, min, max, increment);
                box->setRange(min, max);
                box->setValue(value.toDouble());
                box->setEnabled(featureManager->IsWritable(name));
                SetInputMark(box, QString());
            } else if (className == QLatin1String("QCheckBox")) {
                auto* box = static_cast<QCheckBox*>(widget);
                value = featureManager->GetValue(name);
                box->setChecked(value.toDouble() != 0.0);
                box->setEnabled(featureManager->IsWritable(name));
            } else if (className == QLatin1String("QPushButton")) {
                widget->setEnabled(featureManager->IsWritable(name));
            }
            ShowAccessState(widget, name, since);
            if (value.isValid())
                emit FeatureChanged(name, value);
        }

        // Features without a widget of their own (counters and timers on the
        // tab page, the line features whose widgets are table cells) still
        // reach the status tree. A line's status is not a setting.
        if (!found && name != QLatin1String("LineStatus")) {
            const int type = featureManager->GetDataType(name);
            const QVariant value = (type == TypeEnumeration || type == TypeString)
                                       ? QVariant(featureManager->GetStringValue(name))
                                       : QVariant(featureManager->GetValue(name));
            emit FeatureChanged(name, value);
        }
    }

    // Only a trigger from software can be sent by the button. Nothing above
    // writes to the camera, so once after all names is as good as after each.
    if (changedFeatures->contains(TriggerSource)) {
        if (auto* button = findChild<QPushButton*>(QStringLiteral("btn") + TriggerSoftware))
            button->setEnabled(featureManager->GetStringValue(TriggerSource) == QLatin1String("Software"));
    }
}

void AdvTriggerBase::AttachStatusTree(QTreeView* view)
{
    view->setModel(statusModel->ItemModel());
    view->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    view->header()->setStretchLastSection(true);
    connect(this, SIGNAL(FeatureChanged(const QString&, const QVariant&)), statusModel,
            SLOT(OnFeatureChanged(const QString&, const QVariant&)));
    connect(statusModel->ItemModel(), &QStandardItemModel::rowsInserted, view, &QTreeView::expandAll);
    view->expandAll();
}

// --- handlers ----------------------------------------------------------------

void AdvTriggerBase::WriteComboBox(QObject* sender, const QString& feature, const QString& text)
{
    if (auto* box = SenderAs<QComboBox>(sender)) {
        const QSignalBlocker block(box);
        const quint64 since = featureManager->FailureSerial();
        // What the camera holds, or no selection when it cannot say: the
        // user's choice must not stay as if it had been taken.
        box->setCurrentIndex(box->findText(featureManager->SetValue(feature, text)));
        ShowAccessState(box, feature, since);
    }
}

void AdvTriggerBase::WriteCheckBox(QObject* sender, const QString& feature, int state)
{
    if (auto* box = SenderAs<QCheckBox>(sender)) {
        const QSignalBlocker block(box);
        const quint64 since = featureManager->FailureSerial();
        box->setChecked(featureManager->SetValue(feature, static_cast<double>(state)) != 0.0);
        ShowAccessState(box, feature, since);
    }
}

void AdvTriggerBase::OnChangeComboboxSelection(const QString& currentText)
{
    if (sender())
        WriteComboBox(sender(), sender()->objectName().mid(PrefixLength), currentText);
}

void AdvTriggerBase::OnFinishLineEdit()
{
    if (!sender())
        return;
    const QString feature = sender()->objectName().mid(PrefixLength);
    auto* edit = SenderAs<QLineEdit>(sender());
    if (!edit)
        return;
    const QSignalBlocker block(edit);
    const quint64 since = featureManager->FailureSerial();
    const bool hex = IsHexFeature(feature);
    // Unsigned parsing, so that all 16 digits the validator allows come back
    // as the 64-bit value that HexText shows (0xFFFFFFFFFFFFFFFF is -1).
    const auto hexNumber = static_cast<qint64>(edit->text().mid(2).toULongLong(nullptr, 16));
    QString shown;
    if (hex && featureManager->GetDataType(feature) == KelCPP::KelFeatureDataInt) {
        // 64-bit integers all the way: a double cannot hold them.
        shown = HexText(featureManager->SetInteger(feature, hexNumber));
    } else {
        double number = 0.0; // also for a cleared field
        if (hex)
            number = static_cast<double>(hexNumber);
        else if (!dynamic_cast<const NumberValidator*>(edit->validator()))
            number = NumberLocale().toDouble(edit->text()); // not a number counts as 0
        else if (ReadNumberField(edit, number) == FieldInput::Refused)
            return; // marked and told; the camera keeps its value
        const double readBack = featureManager->SetValue(feature, number);
        shown = hex ? HexText(readBack) : NumberText(readBack);
    }
    if (featureManager->IsReadable(feature))
        edit->setText(shown);
    else if (featureManager->LastFailure(feature).serial > since)
        edit->clear(); // a write-only feature that did not take keeps no typed value
    ShowAccessState(edit, feature, since);
}

void AdvTriggerBase::OnChangeSpinbox(int value)
{
    if (!sender())
        return;
    const QString feature = sender()->objectName().mid(PrefixLength);
    auto* box = SenderAs<QSpinBox>(sender());
    if (!box)
        return;
    const QSignalBlocker block(box);
    const quint64 since = featureManager->FailureSerial();
    box->setValue(ToInt(featureManager->SetValue(feature, static_cast<double>(value))));
    ShowAccessState(box, feature, since);
}

void AdvTriggerBase::OnChangeDoubleSpinbox(double value)
{
    if (!sender())
        return;
    const QString feature = sender()->objectName().mid(PrefixLength);
    auto* box = SenderAs<QDoubleSpinBox>(sender());
    if (!box)
        return;
    const QSignalBlocker block(box);
    const quint64 since = featureManager->FailureSerial();
    box->setValue(featureManager->SetValue(feature, value));
    ShowAccessState(box, feature, since);
}

void AdvTriggerBase::OnChangeCheckbox(int state)
{
    if (sender())
        WriteCheckBox(sender(), sender()->objectName().mid(PrefixLength), state);
}

void AdvTriggerBase::OnExecuteCommandButton()
{
    if (!sender())
        return;
    const QString feature = sender()->objectName().mid(PrefixLength);
    const quint64 since = featureManager->FailureSerial();
    const bool ran = featureManager->RunCommand(feature);
    if (!ran)
        qWarning("Error executing command '%s'", feature.toLatin1().constData());
    ShowAccessState(qobject_cast<QWidget*>(sender()), feature, since);
    // A command leaves nothing on the form to show that it was sent.
    emit StatusMessage(CommandOutcome(feature, ran, since));
}

QString AdvTriggerBase::CommandOutcome(const QString& command, bool ran, quint64 since)
{
    if (!ran) {
        const FeatureManager::Failure failure = featureManager->LastFailure(command);
        return failure.serial > since ? tr("The camera refused %1 (code %2).").arg(command).arg(failure.code)
                                      : tr("The camera has no command %1.").arg(command);
    }
    // The entry of the selector the command went to; empty without one.
    auto selected = [this](const char* selector) {
        const QString name = QString::fromLatin1(selector);
        return featureManager->HasFeature(name) ? featureManager->GetStringValue(name) : QString();
    };
    if (command == TriggerSoftware) {
        const QString trigger = selected("TriggerSelector");
        return trigger.isEmpty() ? tr("Software trigger sent.") : tr("Software trigger sent to %1.").arg(trigger);
    }
    if (command == QLatin1String("SoftwareSignalPulse")) {
        const QString signal = selected("SoftwareSignalSelector");
        return signal.isEmpty() ? tr("Software signal sent.") : tr("Software signal %1 sent.").arg(signal);
    }
    if (command == QLatin1String("TimestampLatch")) {
        // Counted in nanoseconds: all 64 bits, no exponent.
        qint64 stamp = 0;
        return featureManager->GetInteger(QStringLiteral("TimestampLatchValue"), stamp)
                   ? tr("Timestamp latched: %1.").arg(stamp)
                   : tr("Timestamp latched.");
    }
    if (command == QLatin1String("CounterReset") || command == QLatin1String("TimerReset")) {
        const QString which = selected(command == QLatin1String("CounterReset") ? "CounterSelector" : "TimerSelector");
        if (!which.isEmpty())
            return tr("%1 reset.").arg(which);
    }
    return tr("%1 sent to the camera.").arg(command);
}

namespace {

// What a preset names that the camera lacks, for the preset's tooltip.
QString LacksText(const QList<PresetApplier::Lack>& lacks)
{
    QStringList items;
    for (const PresetApplier::Lack& lack : lacks) {
        items << (lack.featureMissing ? lack.feature.toHtmlEscaped()
                                      : AdvTriggerBase::tr("entry %1 of %2").arg(lack.entry.toHtmlEscaped(), lack.feature));
    }
    return items.join(QStringLiteral(", "));
}

// The same in the dry run's report.
QString LacksReport(const QList<PresetApplier::Lack>& lacks)
{
    QStringList items;
    for (const PresetApplier::Lack& lack : lacks)
        items << (lack.featureMissing ? lack.feature : QStringLiteral("entry \"%1\" of %2").arg(lack.entry, lack.feature));
    return items.join(QStringLiteral(", "));
}

// Whether choosing the preset of that name applies "Turn Off All" first.
bool AfterTurnOffAll(const QString& name, const QList<PresetEntry>& presets)
{
    const bool listed = std::any_of(presets.cbegin(), presets.cend(), [](const PresetEntry& preset) {
        return preset.name == PresetsFile::TurnOffAllPreset;
    });
    return listed && name != PresetsFile::TurnOffAllPreset && name != PresetsFile::CustomPreset
           && name != PresetsFile::ResetAllPreset;
}

} // namespace

void AdvTriggerBase::LoadPresets(QComboBox* presetBox, const QString& applicationDir)
{
    presetBox->clear();
    const QString path = PresetsFile::Locate(
        applicationDir, featureManager->GetStringValue(QStringLiteral("DeviceFamilyName")));
    PresetsFileProblems problems;
    const QList<PresetEntry> presets = PresetsFile::Read(path, applicationDir, &problems);
    PresetApplier applier(featureManager);
    auto* model = qobject_cast<QStandardItemModel*>(presetBox->model());
    for (const PresetEntry& preset : presets) {
        presetBox->addItem(QIcon(), preset.name, preset.body);
        const int index = presetBox->count() - 1;
        QString toolTip = preset.toolTip;
        // Offered, it would fail or do only part of what it promises. Greyed
        // rather than left out: the user sees that it exists and why not here.
        const QList<PresetApplier::Lack> lacks = applier.Lacks(preset.body, preset.optional);
        if (!lacks.isEmpty()) {
            toolTip += QStringLiteral("<br><b>%1</b>").arg(tr("Not available on this camera, which lacks: %1").arg(LacksText(lacks)));
            if (model && model->item(index))
                model->item(index)->setEnabled(false);
        }
        presetBox->setItemData(index, toolTip, Qt::ToolTipRole);
    }

    // A mistake in the file must not look like a camera without presets.
    QStringList found;
    if (!problems.fatal.isEmpty() && QFile::exists(path))
        found << tr("No presets loaded: %1").arg(problems.fatal);
    if (!problems.skipped.isEmpty())
        found << tr("Presets left out: %1").arg(problems.skipped.join(QStringLiteral("; ")));
    const QString message = found.join(QStringLiteral("; "));
    if (!message.isEmpty() || !presetBox->property(FailureProperty).toString().isEmpty()) {
        presetBox->setToolTip(message.toHtmlEscaped());
        SetMark(presetBox, message);
    }
}

QString AdvTriggerBase::SetPresetFeature(const QString& featureName, const QVariant& value)
{
    return PresetApplier(featureManager).SetPresetFeature(featureName, value);
}

void AdvTriggerBase::OnSelectPreset(int idx)
{
    auto* box = qobject_cast<QComboBox*>(sender());
    if (!box)
        return;
    auto indexOf = [box](const QString& name) {
        return box->findData(name, Qt::DisplayRole, Qt::MatchCaseSensitive);
    };
    // Every preset starts from a camera with everything switched off, except
    // the ones that mark manual edits or reset the camera themselves.
    if (++presetDepth == 1)
        presetFailures = 0;
    const int turnOffAll = indexOf(PresetsFile::TurnOffAllPreset);
    if (turnOffAll != -1 && idx != turnOffAll && idx != indexOf(PresetsFile::CustomPreset)
        && idx != indexOf(PresetsFile::ResetAllPreset))
        OnSelectPreset(turnOffAll);

    const QVariantMap body = box->itemData(idx).toMap();
    const QString errors = PresetApplier(featureManager).Apply(body);
    const int custom = indexOf(PresetsFile::CustomPreset);
    if (!errors.isEmpty()) {
        presetFailures += std::max(1, FailureCount(errors));
        QMessageBox warning(QMessageBox::Warning, tr("Select preset: %1").arg(box->currentText()),
                            tr("Error(s) on setting the preset:\n\n%1").arg(errors), QMessageBox::Ok, this);
        // Undoing would mean more writes that may fail as well.
        warning.setInformativeText(custom != -1 ? tr("The settings that took effect stay. The preset box shows \"Custom\".")
                                                : tr("The settings that took effect stay. The preset box shows no preset."));
        warning.exec();
    }
    if (--presetDepth > 0)
        return;
    // Rebuilding the tree walks every selector on the camera: once, after
    // the outermost preset, is enough.
    statusModel->Reload();
    const QString name = box->itemText(idx);
    if (presetFailures > 0) {
        // The camera is not what the name in the box promises. Shown, not
        // chosen: "Custom" is not applied on top.
        const QSignalBlocker block(box);
        box->setCurrentIndex(custom);
        emit StatusMessage(presetFailures == 1 ? tr("Preset '%1' applied with 1 failure.").arg(name)
                                               : tr("Preset '%1' applied with %2 failures.").arg(name).arg(presetFailures));
    } else if (!body.isEmpty()) {
        // One that writes nothing ("Custom", chosen by itself after an edit) has nothing to confirm.
        emit StatusMessage(tr("Preset '%1' applied.").arg(name));
    }
}

QVariantMap AdvTriggerBase::CheckPresets(const QString& file)
{
    const QString path = !file.isEmpty() ? file
                                         : PresetsFile::Locate(QCoreApplication::applicationDirPath(),
                                                               featureManager->GetStringValue(QStringLiteral("DeviceFamilyName")));
    PresetsFileProblems problems;
    const QList<PresetEntry> presets = PresetsFile::Read(path, QFileInfo(path).absolutePath(), &problems);
    QStringList lines{QStringLiteral("Presets file: %1").arg(path)};
    if (!problems.fatal.isEmpty())
        lines << QStringLiteral("! ") + problems.fatal;
    for (const QString& skipped : problems.skipped)
        lines << QStringLiteral("! ") + skipped;

    PresetApplier applier(featureManager);
    int unavailable = 0;
    for (const PresetEntry& preset : presets) {
        QString header = QStringLiteral("\"%1\"").arg(preset.name);
        if (AfterTurnOffAll(preset.name, presets))
            header += QStringLiteral(" (after \"%1\")").arg(PresetsFile::TurnOffAllPreset);
        const QList<PresetApplier::Lack> lacks = applier.Lacks(preset.body, preset.optional);
        if (!lacks.isEmpty()) {
            header += QStringLiteral(": not offered, this camera lacks ") + LacksReport(lacks);
            ++unavailable;
        }
        lines << QString() << header;
        const QStringList writes = applier.Check(preset.body, preset.optional);
        lines << (writes.isEmpty() ? QStringList{QStringLiteral("  (writes nothing)")} : writes);
    }
    lines << QString()
          << QStringLiteral("%1 presets, %2 not offered on this camera").arg(presets.size()).arg(unavailable);
    return {{QStringLiteral("report"), lines.join(QLatin1Char('\n')) + QLatin1Char('\n')},
            {QStringLiteral("parsed"), problems.parsed},
            {QStringLiteral("error"), problems.fatal}};
}

// --- I/O line table -----------------------------------------------------

void AdvTriggerBase::BuildLineTable(QTableWidget* table)
{
    const QStringList lines = featureManager->GetAvailableEntries(LineSelector);
    lineBits = featureManager->GetEntryNumbers(LineSelector);
    table->setRowCount(lines.size());
    table->setVerticalHeaderLabels(lines);
    const bool debounceColumns = table->columnCount() > BasicLineColumns;
    QList<int> hidden;

    quint64 rowSince = 0; // the failure serial before the row's line was selected
    auto comboCell = [&](int row, int column, const QString& line, const QString& feature) {
        if (!featureManager->HasFeature(feature)) {
            hidden.append(column);
            return;
        }
        auto* box = new QComboBox(table->viewport());
        box->setObjectName(CellName("cmb", line, feature));
        const quint64 since = featureManager->FailureSerial();
        if (CellReadable(feature)) {
            FillComboBox(feature, box); // also enables it exactly when the feature is writable
        } else {
            box->setEnabled(false);
        }
        featureWidgets.append(box);
        ShowCellState(box, feature, rowSince, since);
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(this);
        table->setCellWidget(row, column, box);
        connect(box, SIGNAL(currentTextChanged(const QString&)), this,
                SLOT(OnChangeTableCombobox(const QString&)));
        connect(box, SIGNAL(currentTextChanged(const QString&)), this, SLOT(SetCustomPreset()));
        observedFeatures.append(feature);
    };

    for (int row = 0; row < lines.size(); ++row) {
        const QString& line = lines.at(row);
        // Every line feature below answers for the selected line. Nothing
        // shows the selector, so its write is not read back.
        rowSince = featureManager->FailureSerial();
        featureManager->WriteValue(LineSelector, line);

        comboCell(row, ModeColumn, line, LineMode);

        if (!featureManager->HasFeature(LineInverter)) {
            hidden.append(InverterColumn);
        } else {
            // A bare check box sits at the cell's left edge; the holder centres it.
            auto* holder = new QWidget(table->viewport());
            auto* layout = new QHBoxLayout(holder);
            auto* check = new QCheckBox(holder);
            layout->addWidget(check);
            layout->setAlignment(Qt::AlignCenter);
            layout->setContentsMargins(0, 0, 0, 0);
            check->setObjectName(CellName("chk", line, LineInverter));
            const quint64 since = featureManager->FailureSerial();
            check->setChecked(featureManager->GetValue(LineInverter) != 0.0);
            check->setEnabled(featureManager->IsWritable(LineInverter));
            featureWidgets.append(check);
            ShowCellState(check, LineInverter, rowSince, since);
            check->installEventFilter(this);
            table->setCellWidget(row, InverterColumn, holder);
            table->setContentsMargins(0, 0, 0, 0);
            connect(check, SIGNAL(stateChanged(int)), this, SLOT(OnChangeTableCheckbox(int)));
            connect(check, SIGNAL(stateChanged(int)), this, SLOT(SetCustomPreset()));
            observedFeatures.append(LineInverter);
        }

        comboCell(row, SourceColumn, line, LineSource);

        if (!featureManager->HasFeature(LineStatus)) {
            hidden.append(StatusColumn);
        } else {
            // No "off" picture: a disabled label greys the LED out.
            auto* led = new QLabel(table->viewport());
            led->setAlignment(Qt::AlignCenter);
            led->setPixmap(QPixmap(LedPicture));
            led->setObjectName(CellName("lbl", line, LineStatus));
            table->setCellWidget(row, StatusColumn, led);
            const quint64 since = featureManager->FailureSerial();
            led->setEnabled(featureManager->GetValue(LineStatus) != 0.0);
            featureWidgets.append(led);
            ShowCellState(led, LineStatus, rowSince, since);
            led->installEventFilter(this);
            observedFeatures.append(LineStatus);
        }

        if (!debounceColumns)
            continue;
        comboCell(row, DebounceModeColumn, line, LineDebounceMode);
        if (!featureManager->HasFeature(LineDebounceDuration)) {
            hidden.append(DebounceDurationColumn);
        } else {
            auto* box = new QDoubleSpinBox(table->viewport());
            box->setObjectName(CellName("spb", line, LineDebounceDuration));
            box->setDecimals(6);
            box->setLocale(NumberLocale());
            box->setProperty(RangeUnknownProperty, true);
            ShowDebounceDuration(box, rowSince);
            featureWidgets.append(box);
            box->setFocusPolicy(Qt::StrongFocus);
            box->installEventFilter(this);
            table->setCellWidget(row, DebounceDurationColumn, box);
            connect(box, SIGNAL(valueChanged(double)), this, SLOT(OnChangeTableSpinbox(double)));
            connect(box, SIGNAL(valueChanged(double)), this, SLOT(SetCustomPreset()));
            observedFeatures.append(LineDebounceDuration);
        }
    }

    for (int column : hidden)
        table->hideColumn(column);
    for (QHeaderView* header : {table->horizontalHeader(), table->verticalHeader()}) {
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->resizeSections(QHeaderView::ResizeToContents);
    }
    table->resizeColumnsToContents();
    table->resizeRowsToContents();

    // One read lights all LEDs, so they can follow the lines closely; a
    // hidden view reads nothing.
    if (!lineLevelTimer && featureManager->HasFeature(LineStatus) && featureManager->HasFeature(LineStatusAll)) {
        lineLevelTimer = new QTimer(this);
        connect(lineLevelTimer, &QTimer::timeout, this, [this, table] {
            if (isVisible() && !cameraGone)
                RefreshLineStatus(table);
        });
        lineLevelTimer->start(LineLevelIntervalMs);
    }
}

void AdvTriggerBase::RefreshLineTable(QTableWidget* table)
{
    const bool debounceColumns = table->columnCount() > BasicLineColumns;
    auto due = [this](const QString& feature) { return changedFeatures->contains(feature); };
    const bool statusDue = due(LineStatus) && !lineStatusAllRead;
    // Walking the lines moves the camera's selector twice per line: only for
    // a line feature that really changed.
    if (!due(LineMode) && !due(LineSource) && !due(LineInverter) && !statusDue
        && !(debounceColumns && (due(LineDebounceDuration) || due(LineDebounceMode))))
        return;

    const QString saved = featureManager->GetWritableStringValue(LineSelector);
    quint64 rowSince = 0; // the failure serial before the row's line was selected
    auto refreshCombo = [&](const QString& line, const QString& feature) {
        if (!due(feature))
            return;
        if (auto* box = table->findChild<QComboBox*>(CellName("cmb", line, feature))) {
            const QSignalBlocker block(box);
            const quint64 since = featureManager->FailureSerial();
            if (CellReadable(feature)) {
                FillComboBox(feature, box);
            } else {
                box->clear();
                box->setEnabled(false);
            }
            ShowCellState(box, feature, rowSince, since);
        }
    };

    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* header = table->verticalHeaderItem(row);
        const QString line = header ? header->text() : QString();
        rowSince = featureManager->FailureSerial();
        featureManager->WriteValue(LineSelector, line);

        refreshCombo(line, LineMode);
        refreshCombo(line, LineSource);
        if (due(LineInverter)) {
            if (auto* check = table->findChild<QCheckBox*>(CellName("chk", line, LineInverter))) {
                const QSignalBlocker block(check);
                const quint64 since = featureManager->FailureSerial();
                check->setChecked(static_cast<qlonglong>(featureManager->GetValue(LineInverter)) != 0);
                check->setEnabled(featureManager->IsWritable(LineInverter));
                ShowCellState(check, LineInverter, rowSince, since);
            }
        }
        if (statusDue) {
            if (auto* led = table->findChild<QLabel*>(CellName("lbl", line, LineStatus))) {
                const QSignalBlocker block(led);
                const quint64 since = featureManager->FailureSerial();
                led->setEnabled(featureManager->GetValue(LineStatus) != 0.0);
                ShowCellState(led, LineStatus, rowSince, since);
            }
        }
        if (!debounceColumns)
            continue;
        if (due(LineDebounceDuration)) {
            if (auto* box = table->findChild<QDoubleSpinBox*>(CellName("spb", line, LineDebounceDuration))) {
                const QSignalBlocker block(box);
                ShowDebounceDuration(box, rowSince);
            }
        }
        refreshCombo(line, LineDebounceMode);
    }
    featureManager->WriteValue(LineSelector, saved);
}

bool AdvTriggerBase::RefreshLineStatus(QTableWidget* table)
{
    lineStatusAllRead = false;
    if (lineBits.isEmpty() || table->rowCount() == 0 || !featureManager->HasFeature(LineStatus)
        || !featureManager->HasFeature(LineStatusAll))
        return false;
    const quint64 since = featureManager->FailureSerial();
    qint64 levels = 0;
    const bool read = featureManager->GetInteger(LineStatusAll, levels);
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* header = table->verticalHeaderItem(row);
        const QString line = header ? header->text() : QString();
        const qint64 bit = lineBits.value(line, -1);
        auto* led = table->findChild<QLabel*>(CellName("lbl", line, LineStatus));
        if (!led)
            continue;
        if (read && bit >= 0 && bit < 64)
            led->setEnabled((static_cast<quint64>(levels) >> bit) & 1u);
        // An LED the camera did not answer for keeps its state, marked.
        ShowAccessState(led, LineStatusAll, since);
    }
    lineStatusAllRead = read;
    return read;
}

bool AdvTriggerBase::CellReadable(const QString& feature)
{
    // Only the debounce settings come and go with the line's direction; the
    // other cells are not worth a device access to ask.
    if (feature != LineDebounceMode && feature != LineDebounceDuration)
        return true;
    return featureManager->IsReadable(feature);
}

void AdvTriggerBase::ShowDebounceDuration(QDoubleSpinBox* box, quint64 rowSince)
{
    const quint64 since = featureManager->FailureSerial();
    if (!CellReadable(LineDebounceDuration)) {
        // An output line has no debounce duration: the cell shows none
        // rather than a default that looks like one.
        box->setSpecialValueText(QStringLiteral(" "));
        box->setValue(box->minimum());
        box->setEnabled(false);
    } else {
        box->setSpecialValueText(QString());
        double value = 0.0;
        if (box->property(RangeUnknownProperty).toBool()) {
            double min = 0.0, max = 0.0, increment = 0.0;
            value = featureManager->GetValueRangeIncrement(LineDebounceDuration, min, max, increment);
            // The range first: a value above the default maximum of 99.99
            // would be clipped otherwise.
            box->setRange(min, max);
            box->setSingleStep(increment);
            box->setProperty(RangeUnknownProperty, featureManager->LastFailure(LineDebounceDuration).serial > since);
        } else {
            value = featureManager->GetValue(LineDebounceDuration);
        }
        box->setValue(value);
        box->setEnabled(featureManager->IsWritable(LineDebounceDuration));
    }
    ShowCellState(box, LineDebounceDuration, rowSince, since);
}

QString AdvTriggerBase::ParseCellName(QString objectName)
{
    const QStringList parts = objectName.split(QLatin1Char('_'), Qt::KeepEmptyParts);
    if (parts.size() < 2) {
        qWarning("Error: cannot parse object name of a table cell widget.");
        return QString();
    }
    const QString line = parts.at(0).mid(PrefixLength);
    // Writing another line's feature would be worse than dropping the edit.
    if (featureManager->SetValue(LineSelector, line) != line)
        return QString();
    return parts.at(1);
}

void AdvTriggerBase::ShowCellState(QWidget* cell, const QString& feature, quint64 rowSince, quint64 since)
{
    // Read while the cell's own line could not be selected, a cell would
    // show another line's value: it carries the selection's failure then.
    if (featureManager->LastFailure(LineSelector).serial > rowSince)
        ShowAccessState(cell, LineSelector, rowSince);
    else
        ShowAccessState(cell, feature, since);
}

QString AdvTriggerBase::SelectCellLine(QObject* cell)
{
    if (!cell)
        return QString();
    const quint64 since = featureManager->FailureSerial();
    const QString feature = ParseCellName(cell->objectName());
    if (feature.isEmpty()) {
        // The edit is dropped; the cell must not look as if it had been taken.
        if (auto* box = qobject_cast<QComboBox*>(cell)) {
            const QSignalBlocker block(box);
            box->setCurrentIndex(-1);
        }
        ShowAccessState(qobject_cast<QWidget*>(cell), LineSelector, since);
    }
    return feature;
}

void AdvTriggerBase::OnChangeTableCombobox(const QString& currentText)
{
    // A cell's feature is written for the cell's line, which ParseCellName selects.
    const QString feature = SelectCellLine(sender());
    if (!feature.isEmpty())
        WriteComboBox(sender(), feature, currentText);
}

void AdvTriggerBase::OnChangeTableCheckbox(int state)
{
    const QString feature = SelectCellLine(sender());
    if (!feature.isEmpty())
        WriteCheckBox(sender(), feature, state);
}

void AdvTriggerBase::OnChangeTableSpinbox(double value)
{
    const QString feature = SelectCellLine(sender());
    if (feature.isEmpty())
        return;
    auto* box = SenderAs<QDoubleSpinBox>(sender());
    if (!box)
        return;
    const QSignalBlocker block(box);
    const quint64 since = featureManager->FailureSerial();
    // Debounce times span decades: every step halves or doubles the camera's
    // value instead of writing what was typed.
    const double current = featureManager->GetValue(feature);
    double next;
    if (value <= current)
        next = current * 0.5;
    else if (current <= 0.0)
        next = box->singleStep();
    else
        next = current * 2.0;
    box->setValue(featureManager->SetValue(feature, next));
    ShowAccessState(box, feature, since);
}

QString AdvTriggerBase::HintStyleSheet() const
{
    return IsDarkPalette() ? QStringLiteral("color: rgba(56,111,251,255);")
                           : QStringLiteral("color: rgba(50,95,201,255);");
}

void AdvTriggerBase::ActivateTooltips(int state)
{
    tooltipsActive = state != 0;
}
