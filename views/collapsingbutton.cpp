#include "views/collapsingbutton.h"

#include <QApplication>
#include <QPropertyAnimation>

namespace {

const int foldDurationMs = 300;
// Room below the content's own height so that a frame's border is not cut.
const int expandMargin = 10;

} // namespace

CollapsingButton::CollapsingButton(QWidget* parent)
    : QToolButton(parent)
    , content(nullptr)
{
    setCheckable(true);
    setStyleSheet(QStringLiteral("background:none"));
    setIconSize(QSize(8, 8));
    setFont(QApplication::font());
    connect(this, &QAbstractButton::toggled, [this](bool checked) { OnToggled(checked); });
}

CollapsingButton::~CollapsingButton() = default;

void CollapsingButton::setContent(QWidget* newContent)
{
    content = newContent;

    auto* animation = new QPropertyAnimation(content, "maximumHeight");
    animation->setStartValue(0);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setDuration(foldDurationMs);
    animation->setEndValue(content->height() + expandMargin);
    animator.addAnimation(animation);

    setArrowType(isChecked() ? Qt::DownArrow : Qt::RightArrow);
    if (!isChecked())
        content->setMaximumHeight(0);
}

void CollapsingButton::setText(const QString& text)
{
    QToolButton::setText(QLatin1Char(' ') + text);
}

void CollapsingButton::OnToggled(bool checked)
{
    setArrowType(checked ? Qt::DownArrow : Qt::RightArrow);

    // Starting a running group does nothing, so a toggle during a fold only
    // flips the direction and the fold reverses from where it is.
    if (content && checked) {
        // The height at attachment can be stale (a form not laid out yet, a
        // table filled since): unfold at least as far as the content's layout
        // asks, or the bottom of the section is cut off.
        auto* animation = static_cast<QPropertyAnimation*>(animator.animationAt(0));
        const int wanted = content->sizeHint().height();
        if (animation->endValue().toInt() < wanted)
            animation->setEndValue(wanted);
        animator.setDirection(QAbstractAnimation::Forward);
        animator.start(QAbstractAnimation::KeepWhenStopped);
        return;
    }

    if (animator.animationCount() > 0) {
        // The content may have grown since attachment (a status tree filling
        // up); fold from the height it really has, and unfold to it next time.
        auto* animation = static_cast<QPropertyAnimation*>(animator.animationAt(0));
        if (animation->endValue().toInt() < content->height())
            animation->setEndValue(content->height());
    }
    animator.setDirection(QAbstractAnimation::Backward);
    animator.start(QAbstractAnimation::KeepWhenStopped);
}
