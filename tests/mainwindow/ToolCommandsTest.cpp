#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "local/ExtendTools.h"
#include "local/TExtendToolForm.h"
#include "platform/RegistryFile.h"
#include "store/DialogDriver.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include <fstream>
#include <sys/stat.h>

namespace {

// The tools' entries in the main window's menus, and a real program started by one.
class ToolCommandsTest : public BrowseFixture {
protected:
    static void writeTools(const std::vector<std::pair<std::string, std::string>>& values)
    {
        Registry registry;
        ASSERT_TRUE(registry.openKey(kExtendToolKey, true));
        for (const std::string& name : registry.valueNames())
            registry.deleteValue(name);
        for (const auto& [name, data] : values)
            registry.writeString(name, data);
    }

    static QStringList entryTexts(const QMenu* menu, int from = 0)
    {
        QStringList texts;
        const QList<QAction*> entries = menu->actions();
        for (int i = from; i < entries.size(); ++i)
            texts << entries[i]->text();
        return texts;
    }

    /// A small program that writes each argument it receives on a line of `output`.
    std::string makeArgvProgram(const std::string& output) const
    {
        const std::string path = m_drive.path("bin/argv.sh");
        std::filesystem::create_directories(m_drive.path("bin"));
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " << output << ".part\nmv "
                            << output << ".part " << output << "\n";
        chmod(path.c_str(), 0755);
        return "D:\\bin\\argv.sh";
    }

    static std::string readAll(const std::string& path)
    {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    QString panel(int number) const { return m_form->statusBarPanels()->panelText(number); }
};

TEST_F(ToolCommandsTest, EntriesFollowTheFixedOnesAndAreRebuiltAfterTheDialog)
{
    writeTools({});
    TMainForm& form = openForm();
    QMenu* tools = form.findChild<QMenu*>(QStringLiteral("ToolMenuItem1"));
    ASSERT_TRUE(tools);
    EXPECT_EQ(tools->actions().size(), 7);
    auto* local = form.findChild<QMenu*>(QStringLiteral("ToolMenuItem4"));
    ASSERT_TRUE(local);
    EXPECT_TRUE(local->actions().isEmpty());

    // The dialog adds a tool; its entries appear in all four menus once it closes.
    ModalDriver<TExtendToolForm> driver([](TExtendToolForm& dialog) {
        dialog.ShowError = [](QWidget*, int) {};
        dialog.BitBtn1->click();
        dialog.BitBtn1->click();
        dialog.accept();
    });
    form.findChild<QAction*>(QStringLiteral("M50"))->trigger();
    ASSERT_TRUE(driver.opened());
    const QStringList expected{QStringLiteral("新延伸工具1"), QStringLiteral("新延伸工具2")};
    EXPECT_EQ(entryTexts(tools, 7), expected);
    for (const char* name : {"ToolMenuItem2", "ToolMenuItem3", "ToolMenuItem4"})
        EXPECT_EQ(entryTexts(form.findChild<QMenu*>(QString::fromLatin1(name))), expected) << name;

    // Deleting both in the dialog leaves the seven fixed entries.
    ModalDriver<TExtendToolForm> remover([](TExtendToolForm& dialog) {
        dialog.ToolCheckListBox->setCurrentRow(1);
        dialog.BitBtn2->click();
        dialog.BitBtn2->click();
        dialog.accept();
    });
    form.findChild<QAction*>(QStringLiteral("M50"))->trigger();
    ASSERT_TRUE(remover.opened());
    EXPECT_EQ(tools->actions().size(), 7);
    EXPECT_TRUE(local->actions().isEmpty());
}

TEST_F(ToolCommandsTest, ToolReceivesTheSelectedFileAsOneArgument)
{
    const std::string output = m_drive.path("argv.txt");
    const std::string program = makeArgvProgram(output);
    writeTools({{"1參數", program + ";--file=%file \"%FILE\" -x"}, {"0Off", program + ";off"}});
    makeFolder("docs");
    const std::string name = "a b 中文 'q'.txt";
    m_drive.writeFile("docs/" + name, "x");
    TMainForm& form = openForm();
    ASSERT_TRUE(form.SelectLocalPath("D:\\docs\\"));
    ASSERT_TRUE(waitUntil([this] { return panel(1).contains(QStringLiteral("資料夾,")); }));
    TListView* list = form.fileListView();
    const int row = list->model()->findCaption(QString::fromStdString(name));
    ASSERT_GE(row, 0);

    QMenu* tools = form.findChild<QMenu*>(QStringLiteral("ToolMenuItem1"));
    ASSERT_EQ(tools->actions().size(), 9);
    // A disabled tool has its entry and does nothing.
    tools->actions()[8]->trigger();
    QApplication::processEvents();
    list->selectionModel()->select(list->model()->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    form.findChild<QMenu*>(QStringLiteral("ToolMenuItem4"))->actions()[0]->trigger();
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(output); }, 10000)) << m_shellErrors.join("\n").toStdString();
    const std::string file = m_drive.path("docs/" + name);
    EXPECT_EQ(readAll(output), "--file=" + file + "\n" + file + "\n-x\n");
    EXPECT_TRUE(m_shellErrors.isEmpty());
}

TEST_F(ToolCommandsTest, WithoutASelectionThePlaceholderIsEmpty)
{
    const std::string output = m_drive.path("argv.txt");
    writeTools({{"1T", makeArgvProgram(output) + ";[%FILE]"}});
    TMainForm& form = openForm();
    form.findChild<QMenu*>(QStringLiteral("ToolMenuItem1"))->actions()[7]->trigger();
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(output); }, 10000));
    EXPECT_EQ(readAll(output), "[]\n");
}

} // namespace
