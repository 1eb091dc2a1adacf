#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTreeView>

#include <fstream>

namespace {

// The window at the size it has on a first start, on a folder with long names.
class WindowFitTest : public BrowseFixture {
protected:
    void SetUp() override
    {
        BrowseFixture::SetUp();
        SetupInfo.ViewStyle = TListView::Details;
        makeFolder("fit/資料夾_一");
        std::ofstream(m_drive.path("fit/這是一個非常非常長的檔案名稱用來測試清單欄位寬度是否會被截斷_final.txt")) << std::string(5000, 'x');
        for (int i = 0; i < 40; ++i)
            std::ofstream(m_drive.path("fit/檔案_" + std::to_string(i) + ".doc")) << std::string(size_t(i) * 3000, 'x');
        openForm();
        m_form->SelectLocalPath("D:\\fit");
        waitUntil([this] { return m_form->statusBarPanels()->panelText(1).contains(QStringLiteral("資料夾,")); });
    }
};

TEST_F(WindowFitTest, TheStatusPanelsShowTheirWholeText)
{
    ASSERT_EQ(m_form->size(), QSize(800, 560));
    TStatusBar* bar = m_form->statusBarPanels();
    ASSERT_TRUE(bar->panelText(0).startsWith(QStringLiteral("磁碟空間"))) << bar->panelText(0).toStdString();
    ASSERT_TRUE(bar->panelText(1).contains(QStringLiteral("檔案("))) << bar->panelText(1).toStdString();
    QApplication::processEvents();
    int checked = 0;
    for (int panel = 0; panel < TStatusBar::kPanelCount; ++panel) {
        auto* label = bar->findChild<QLabel*>(QStringLiteral("Panel%1").arg(panel));
        if (!label || label->text().isEmpty())
            continue;
        ++checked;
        EXPECT_GE(label->contentsRect().width(), label->fontMetrics().horizontalAdvance(label->text()))
            << "panel " << panel << " cuts " << label->text().toStdString();
        EXPECT_LE(label->geometry().right(), bar->contentsRect().right()) << "panel " << panel << " runs off the bar";
    }
    EXPECT_GE(checked, 2);
}

TEST_F(WindowFitTest, TheDetailsViewShowsEveryColumnOrScrollsToIt)
{
    auto* details = qobject_cast<QTreeView*>(m_form->fileListView()->currentView());
    ASSERT_NE(details, nullptr);
    QApplication::processEvents();
    QHeaderView* header = details->header();
    ASSERT_EQ(header->count(), 6);
    const TListModel* model = m_form->fileListView()->model();
    ASSERT_GT(model->rowCount(), 0);
    for (int column = 0; column < header->count(); ++column) {
        EXPECT_FALSE(header->isSectionHidden(column)) << column;
        // Every column is wide enough for its heading, and the longest cell is not cut
        // down to nothing.
        const QString heading = model->headerData(column, Qt::Horizontal).toString();
        EXPECT_GE(header->sectionSize(column), header->fontMetrics().horizontalAdvance(heading)) << column;
        // Scrolled to, the column lies inside the view.
        details->scrollTo(model->index(0, column));
        details->horizontalScrollBar()->setValue(header->sectionPosition(column));
        QApplication::processEvents();
        const QRect cell = details->visualRect(model->index(0, column));
        EXPECT_GE(cell.left(), 0) << column;
        EXPECT_LE(cell.left(), details->viewport()->width() - 20) << column;
    }
    // The size and date columns show their whole texts.
    for (int column : {3, 5}) {
        int widest = 0;
        for (int row = 0; row < model->rowCount(); ++row)
            widest = std::max(widest, details->fontMetrics().horizontalAdvance(model->data(model->index(row, column)).toString()));
        EXPECT_GE(header->sectionSize(column), widest) << column;
    }
}

}  // namespace
