#include <gtest/gtest.h>

#include "ui/TStatusBar.h"

#include <QLabel>

namespace {

QLabel* panel(TStatusBar& bar, int index)
{
    return bar.findChild<QLabel*>(QStringLiteral("Panel%1").arg(index));
}

// A panel is one line high: a message of two lines (a context line over the error) must
// read whole on that line, never as the top half of two, and whole in its tool tip.
TEST(StatusBar, AMessageOfSeveralLinesShowsWholeOnThePanelsOneLine)
{
    TStatusBar bar;
    bar.setClientHeight(bar.fontMetrics().height() + 4);
    bar.resize(900, 30);
    bar.show();
    const QString twoLines = QStringLiteral("當展開資料夾節點時\r\n找不到網路路徑。\r\n");
    for (int index : {0, 1, 5}) {
        QLabel* label = panel(bar, index);
        ASSERT_NE(label, nullptr);
        bar.setPanelText(index, QStringLiteral("甲"));
        const int oneLine = label->sizeHint().height();
        bar.setPanelText(index, twoLines);
        EXPECT_EQ(label->text(), QStringLiteral("當展開資料夾節點時 找不到網路路徑。")) << index;
        EXPECT_EQ(bar.panelText(index), label->text());
        EXPECT_EQ(label->toolTip(), QStringLiteral("當展開資料夾節點時\r\n找不到網路路徑。"));
        // Its text asks for no more height than one line does.
        EXPECT_EQ(label->sizeHint().height(), oneLine) << index;
    }
    // Blank lines and the lone line ends of other systems leave no double blanks.
    EXPECT_EQ(TStatusBar::oneLine(QStringLiteral("甲\n\n  乙\r丙")), QStringLiteral("甲 乙 丙"));
    EXPECT_EQ(TStatusBar::oneLine(QStringLiteral("共 3 個項目")), QStringLiteral("共 3 個項目"));
    bar.setPanelText(1, QString());
    EXPECT_TRUE(panel(bar, 1)->toolTip().isEmpty());
}

// A fixed panel widens for a long message and goes back to its own width afterwards.
TEST(StatusBar, AFixedPanelWidensForItsTextAndGoesBack)
{
    TStatusBar bar;
    bar.resize(1200, 30);
    bar.show();
    bar.setPanelWidth(1, 60);
    const QString message = QStringLiteral("還沒有快取:用「工具」選單的「更新快取」建立");
    bar.setPanelText(1, message);
    QLabel* label = panel(bar, 1);
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(message));
    bar.setPanelText(1, QStringLiteral("1"));
    EXPECT_EQ(bar.panelWidth(1), 60);
}

} // namespace
