#ifndef VIEWS_COLLAPSINGBUTTON_H
#define VIEWS_COLLAPSINGBUTTON_H

#include <QParallelAnimationGroup>
#include <QToolButton>

// A checkable arrow button that folds and unfolds one content widget by
// animating the content's maximumHeight between 0 and its height at
// attachment (plus a margin), or the height its layout asks for when
// unfolding if that is more. Checked means expanded.
//
// The forms create the button and its content separately; the view joins
// them with setContent(). The content is not owned.
class CollapsingButton : public QToolButton
{
public:
    explicit CollapsingButton(QWidget* parent = nullptr);
    ~CollapsingButton() override;

    // Attaches the content. An unchecked button collapses it at once, without
    // animation; a checked one leaves it as it is. Call it once per button:
    // only the first content is ever folded.
    void setContent(QWidget* content);

    // Hides QAbstractButton::setText so that the generated forms, whose member
    // is typed CollapsingButton*, get the blank between arrow and text.
    void setText(const QString& text);

private:
    void OnToggled(bool checked);

    QWidget* content;
    QParallelAnimationGroup animator;
};

#endif
