#include "views/collapsingbutton.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

class TestCollapsingButton : public QObject
{
    Q_OBJECT
    std::unique_ptr<QWidget> content;
    std::unique_ptr<CollapsingButton> button;

private slots:
    void init()
    {
        content = std::make_unique<QWidget>();
        content->resize(200, 100); // unfolds to 100 + 10
        button = std::make_unique<CollapsingButton>();
    }

    void textGetsLeadingBlankAndButtonIsCheckable()
    {
        button->setText(QStringLiteral("Show Trigger Features Status:"));
        QCOMPARE(button->text(), QStringLiteral(" Show Trigger Features Status:"));
        // The dialog's collapsed sections rely on this: their forms do not set it.
        QVERIFY(button->isCheckable());
        QCOMPARE(button->styleSheet(), QStringLiteral("background:none"));
    }

    void checkedButtonLeavesItsContentAlone()
    {
        button->setChecked(true);
        button->setContent(content.get());
        QCOMPARE(content->maximumHeight(), QWIDGETSIZE_MAX);
        QCOMPARE(button->arrowType(), Qt::DownArrow);
    }

    void clicksFoldAndUnfoldOverTheAnimation()
    {
        // Without content a toggle only turns the arrow.
        button->click();
        QCOMPARE(button->arrowType(), Qt::DownArrow);
        button->click();
        QCOMPARE(button->arrowType(), Qt::RightArrow);
        button->setContent(content.get());
        QCOMPARE(content->maximumHeight(), 0); // unchecked: collapsed at once

        button->click();
        QVERIFY(button->isChecked());
        QCOMPARE(button->arrowType(), Qt::DownArrow);
        QVERIFY(content->maximumHeight() < 110); // animated, not set at once
        QTRY_COMPARE(content->maximumHeight(), 110);

        // A status tree filling up: the content got taller than the end value.
        // It folds from its real height and unfolds to it next time.
        content->setMaximumHeight(QWIDGETSIZE_MAX);
        content->resize(200, 300);
        button->click();
        QCOMPARE(button->arrowType(), Qt::RightArrow);
        QCOMPARE(content->maximumHeight(), 300);
        QTRY_COMPARE(content->maximumHeight(), 0);
        button->click();
        QTRY_COMPARE(content->maximumHeight(), 300);
    }

    // A dialog's section attached before its form was laid out once
    // unfolded to that stale height, cutting off its lower part.
    void unfoldsAsFarAsItsLayoutAsks()
    {
        auto* tall = new QWidget;
        tall->setMinimumHeight(250);
        (new QVBoxLayout(content.get()))->addWidget(tall);
        button->setContent(content.get()); // still 100 high: not laid out
        button->click();
        QTRY_COMPARE(content->maximumHeight(), content->sizeHint().height());
        QVERIFY(content->maximumHeight() >= 250);
    }

    void toggleDuringFoldReversesFromWhereItIs()
    {
        content->resize(200, 1000); // tall, so that the fold moves on every animation step
        button->setContent(content.get());
        button->click();
        QTRY_VERIFY(content->maximumHeight() > 0);
        if (content->maximumHeight() == 1010)
            QSKIP("the unfold ended before it could be caught midway");

        // Restarting instead of reversing would jump to the full height first.
        button->click();
        QVERIFY(content->maximumHeight() < 1010);
        QTRY_COMPARE(content->maximumHeight(), 0);
    }
};

QTEST_MAIN(TestCollapsingButton)
#include "tst_collapsingbutton.moc"
