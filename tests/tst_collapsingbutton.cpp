#include "views/collapsingbutton.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const int contentHeight = 100;
// What an expansion animates the content's maximum height to.
const int expandedHeight = contentHeight + 10;

} // namespace

class TestCollapsingButton : public QObject
{
    Q_OBJECT

private slots:
    void setContentFollowsCheckedState_data();
    void setContentFollowsCheckedState();
    void clickFoldsAndUnfoldsOverTheAnimation();
    void toggleDuringFoldReversesFromWhereItIs();
    void contentThatGrewFoldsFromItsRealHeight();
    void toggleWithoutContentOnlyTurnsTheArrow();
    void textGetsLeadingBlankAndButtonIsCheckable();
};

void TestCollapsingButton::setContentFollowsCheckedState_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("maximumHeight");
    QTest::addColumn<int>("arrow");

    QTest::newRow("unchecked collapses at once") << false << 0 << int(Qt::RightArrow);
    QTest::newRow("checked leaves the content alone") << true << QWIDGETSIZE_MAX << int(Qt::DownArrow);
}

void TestCollapsingButton::setContentFollowsCheckedState()
{
    QFETCH(bool, checked);

    QWidget content;
    content.resize(200, contentHeight);
    CollapsingButton button;
    button.setChecked(checked);
    button.setContent(&content);

    QTEST(content.maximumHeight(), "maximumHeight");
    QTEST(int(button.arrowType()), "arrow");
}

void TestCollapsingButton::clickFoldsAndUnfoldsOverTheAnimation()
{
    QWidget content;
    content.resize(200, contentHeight);
    CollapsingButton button;
    button.setContent(&content);

    button.click();
    QVERIFY(button.isChecked());
    QCOMPARE(button.arrowType(), Qt::DownArrow);
    // Animated, not set at once.
    QVERIFY(content.maximumHeight() < expandedHeight);
    QTRY_COMPARE(content.maximumHeight(), expandedHeight);

    button.click();
    QCOMPARE(button.arrowType(), Qt::RightArrow);
    QVERIFY(content.maximumHeight() > 0);
    QTRY_COMPARE(content.maximumHeight(), 0);

    // The animations are kept: the next unfold works the same way.
    button.click();
    QTRY_COMPARE(content.maximumHeight(), expandedHeight);
}

void TestCollapsingButton::toggleDuringFoldReversesFromWhereItIs()
{
    // Tall, so that the fold moves on every animation step.
    QWidget content;
    content.resize(200, 1000);
    const int fullHeight = 1000 + 10;
    CollapsingButton button;
    button.setContent(&content);

    button.click();
    QTRY_VERIFY(content.maximumHeight() > 0);
    if (content.maximumHeight() == fullHeight)
        QSKIP("the unfold ended before it could be caught midway");

    // Restarting instead of reversing would jump to the full height first.
    button.click();
    QVERIFY(content.maximumHeight() < fullHeight);
    QTRY_COMPARE(content.maximumHeight(), 0);
}

void TestCollapsingButton::contentThatGrewFoldsFromItsRealHeight()
{
    QWidget content;
    content.resize(200, contentHeight);
    CollapsingButton button;
    button.setContent(&content);
    button.click();
    QTRY_COMPARE(content.maximumHeight(), expandedHeight);

    // A status tree filling up: the content gets taller than the end value.
    content.setMaximumHeight(QWIDGETSIZE_MAX);
    content.resize(200, 300);

    button.click();
    QCOMPARE(content.maximumHeight(), 300);
    QTRY_COMPARE(content.maximumHeight(), 0);

    button.click();
    QTRY_COMPARE(content.maximumHeight(), 300);
}

void TestCollapsingButton::toggleWithoutContentOnlyTurnsTheArrow()
{
    CollapsingButton button;
    button.click();
    QCOMPARE(button.arrowType(), Qt::DownArrow);
    button.click();
    QCOMPARE(button.arrowType(), Qt::RightArrow);

    // Attaching afterwards still works from the current state.
    QWidget content;
    content.resize(200, contentHeight);
    button.setContent(&content);
    QCOMPARE(content.maximumHeight(), 0);
    button.click();
    QTRY_COMPARE(content.maximumHeight(), expandedHeight);
}

void TestCollapsingButton::textGetsLeadingBlankAndButtonIsCheckable()
{
    CollapsingButton button;
    button.setText(QStringLiteral("Show Trigger Features Status:"));
    QCOMPARE(button.text(), QStringLiteral(" Show Trigger Features Status:"));
    // The dialog's collapsed sections rely on this: their forms do not set it.
    QVERIFY(button.isCheckable());
    QCOMPARE(button.styleSheet(), QStringLiteral("background:none"));
}

QTEST_MAIN(TestCollapsingButton)
#include "tst_collapsingbutton.moc"
