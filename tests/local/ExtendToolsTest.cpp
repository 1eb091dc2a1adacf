#include <gtest/gtest.h>

#include "local/ExtendTools.h"
#include "local/TExtendToolForm.h"
#include "platform/RegistryFile.h"
#include "support/TempConfig.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

const std::string kNewTool = "新延伸工具";

class ExtendToolsTest : public ::testing::Test {
protected:
    /// Writes the values as another program (or an older version) would have left them.
    static void writeValues(const std::vector<std::pair<std::string, std::string>>& values)
    {
        Registry registry;
        ASSERT_TRUE(registry.openKey(kExtendToolKey, true));
        for (const auto& [name, data] : values)
            registry.writeString(name, data);
    }

    static std::vector<std::string> valueNames()
    {
        Registry registry;
        EXPECT_TRUE(registry.openKey(kExtendToolKey, true));
        return registry.valueNames();
    }

    std::unique_ptr<TExtendToolForm> openForm()
    {
        auto form = std::make_unique<TExtendToolForm>();
        form->ShowError = [this](QWidget*, int number) { m_errors.push_back(number); };
        return form;
    }

    /// Puts `text` into the caption field as a person would: enter, type, leave.
    static void editCaption(TExtendToolForm& form, const QString& text)
    {
        form.CaptionEdit->setFocus();
        QFocusEvent in(QEvent::FocusIn);
        QApplication::sendEvent(form.CaptionEdit, &in);
        form.CaptionEdit->setText(text);
        emit form.CaptionEdit->editingFinished();
    }

    TempConfig m_config;
    std::vector<int> m_errors;
};

TEST_F(ExtendToolsTest, ValuesAreReadAsTheirNamesAndDataSay)
{
    writeValues({{"1Notepad", "C:\\WINDOWS\\NOTEPAD.EXE;%FILE"},
                 {"0Viewer", "C:\\view.exe;/v %FILE"},
                 {"XOdd", "no semicolon here"},
                 {"1檢視器 二", "D:\\工具\\看.exe;a;b"}});
    const std::vector<TExtendTool> tools = ReadExtendTools();
    ASSERT_EQ(tools.size(), 4u);
    EXPECT_EQ(tools[0].Caption, "Notepad");
    EXPECT_TRUE(tools[0].Enabled);
    EXPECT_EQ(tools[0].Program, "C:\\WINDOWS\\NOTEPAD.EXE");
    EXPECT_EQ(tools[0].Parameters, "%FILE");
    EXPECT_FALSE(tools[1].Enabled);
    // Any first character but "1" and "0" is a disabled tool; data without ";" is all parameters.
    EXPECT_EQ(tools[2].Caption, "Odd");
    EXPECT_FALSE(tools[2].Enabled);
    EXPECT_EQ(tools[2].Program, "");
    EXPECT_EQ(tools[2].Parameters, "no semicolon here");
    // Only the first ";" splits.
    EXPECT_EQ(tools[3].Caption, "檢視器 二");
    EXPECT_EQ(tools[3].Program, "D:\\工具\\看.exe");
    EXPECT_EQ(tools[3].Parameters, "a;b");

    EXPECT_TRUE(FindEnabledTool("Notepad").has_value());
    EXPECT_FALSE(FindEnabledTool("Viewer").has_value());
    EXPECT_FALSE(FindEnabledTool("Missing").has_value());
}

TEST_F(ExtendToolsTest, WritingReplacesEveryValueAndReadsBackTheSame)
{
    writeValues({{"1Old", "x;y"}, {"1Other", "p;q"}});
    std::vector<TExtendTool> tools(3);
    tools[0] = {"編輯 器", "D:\\bin\\edit.sh", "--open \"%FILE\"", true};
    tools[1] = {"Off", "", "%FILE", false};
    tools[2] = {"Semi;colon", "a", "", true};
    ASSERT_TRUE(WriteExtendTools(tools));
    EXPECT_EQ(valueNames(), (std::vector<std::string>{"1編輯 器", "0Off", "1Semi;colon"}));
    const std::vector<TExtendTool> back = ReadExtendTools();
    ASSERT_EQ(back.size(), 3u);
    for (size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].Caption, tools[i].Caption);
        EXPECT_EQ(back[i].Program, tools[i].Program);
        EXPECT_EQ(back[i].Parameters, tools[i].Parameters);
        EXPECT_EQ(back[i].Enabled, tools[i].Enabled);
    }
}

TEST_F(ExtendToolsTest, AtMostFortyAreReadAndTheRestGoAtTheNextSave)
{
    std::vector<std::pair<std::string, std::string>> values;
    for (int i = 1; i <= 45; ++i)
        values.emplace_back("1T" + std::to_string(i), "p;%FILE");
    writeValues(values);
    ASSERT_EQ(ReadExtendTools().size(), kMaxExtendTools);
    EXPECT_EQ(ReadExtendTools().back().Caption, "T40");

    auto form = openForm();
    ASSERT_EQ(form->ToolCheckListBox->count(), 40);
    form->BitBtn1->click();
    EXPECT_EQ(m_errors, std::vector<int>{33073});
    EXPECT_EQ(form->ToolCheckListBox->count(), 40);
    form->accept();
    EXPECT_EQ(valueNames().size(), 40u);
}

TEST_F(ExtendToolsTest, PlaceholderInAnyCaseAndArgumentsThatKeepTheFileWhole)
{
    EXPECT_EQ(ReplaceFilePlaceholder("/open %file /x", "C:\\DOC\\README.TXT"), "/open C:\\DOC\\README.TXT /x");
    EXPECT_EQ(ReplaceFilePlaceholder("%FILE%File%fIlE", "a"), "aaa");
    EXPECT_EQ(ReplaceFilePlaceholder("%FIL", "a"), "%FIL");
    // The file's text is not searched again: a file named %FILE stays as it is.
    EXPECT_EQ(ReplaceFilePlaceholder("%FILE", "%FILE"), "%FILE");

    const std::string file = "/srv/共用 文件/a \"b\" c.txt";
    EXPECT_EQ(ToolArguments("%FILE", file), QStringList{QString::fromStdString(file)});
    EXPECT_EQ(ToolArguments("--in=%file  \"two words\" -x", file),
              (QStringList{QString::fromStdString("--in=" + file), "two words", "-x"}));
    EXPECT_EQ(ToolArguments("\"%FILE\"", file), QStringList{QString::fromStdString(file)});
    // No selection: the argument is there, empty, as the template put it.
    EXPECT_EQ(ToolArguments("-f %FILE", ""), (QStringList{"-f", ""}));
    EXPECT_TRUE(ToolArguments("", file).isEmpty());
}

TEST_F(ExtendToolsTest, DialogAddsNamesAndRefusesDuplicateCaptions)
{
    writeValues({{"1" + kNewTool + "1", ";%FILE"}, {"1Viewer", "v;%FILE"}});
    auto form = openForm();
    ASSERT_EQ(form->ToolCheckListBox->count(), 2);
    EXPECT_FALSE(form->BrowseBitBtn->isEnabled());

    form->BitBtn1->click();
    ASSERT_EQ(form->ToolCheckListBox->count(), 3);
    EXPECT_EQ(form->ToolCheckListBox->currentRow(), 2);
    EXPECT_EQ(form->CaptionEdit->text().toStdString(), kNewTool + "2");
    EXPECT_EQ(form->ParamEdit->text(), "%FILE");
    EXPECT_EQ(form->ProgramEdit->text(), "");
    EXPECT_TRUE(form->BrowseBitBtn->isEnabled());
    EXPECT_EQ(form->ToolCheckListBox->item(2)->checkState(), Qt::Checked);

    // Another tool's caption in another case is refused and the old one comes back.
    editCaption(*form, "VIEWER");
    EXPECT_EQ(m_errors, std::vector<int>{33072});
    EXPECT_EQ(form->CaptionEdit->text().toStdString(), kNewTool + "2");
    editCaption(*form, "看圖 工具");
    EXPECT_EQ(form->ToolCheckListBox->item(2)->text(), "看圖 工具");

    form->ProgramEdit->setText("D:\\bin\\view.sh");
    emit form->ProgramEdit->editingFinished();
    form->AskProgram = [](QWidget*) { return QString(); };
    form->BrowseBitBtn->click();
    EXPECT_EQ(form->ProgramEdit->text(), "D:\\bin\\view.sh");
    form->accept();

    const std::vector<TExtendTool> saved = ReadExtendTools();
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[2].Caption, "看圖 工具");
    EXPECT_EQ(saved[2].Program, "D:\\bin\\view.sh");
    EXPECT_EQ(saved[2].Parameters, "%FILE");
}

TEST_F(ExtendToolsTest, DeletingSelectsThePreviousLineAndTicksAreTheEnabledFlags)
{
    writeValues({{"1A", "a;%FILE"}, {"1B", "b;%FILE"}, {"0C", "c;%FILE"}});
    auto form = openForm();
    EXPECT_EQ(form->ToolCheckListBox->item(2)->checkState(), Qt::Unchecked);
    form->ToolCheckListBox->setCurrentRow(1);
    EXPECT_EQ(form->ProgramEdit->text(), "b");
    form->BitBtn2->click();
    ASSERT_EQ(form->ToolCheckListBox->count(), 2);
    EXPECT_EQ(form->ToolCheckListBox->currentRow(), 0);
    EXPECT_EQ(form->CaptionEdit->text(), "A");
    // The tool after the deleted one keeps its own flag.
    EXPECT_EQ(form->ToolCheckListBox->item(1)->checkState(), Qt::Unchecked);

    form->ToolCheckListBox->item(1)->setCheckState(Qt::Checked);
    form->ToolCheckListBox->item(0)->setCheckState(Qt::Unchecked);
    form->ToolCheckListBox->setCurrentRow(0);
    form->BitBtn2->click();
    EXPECT_EQ(form->ToolCheckListBox->currentRow(), -1);
    EXPECT_FALSE(form->BrowseBitBtn->isEnabled());
    EXPECT_EQ(form->CaptionEdit->text(), "");
    form->reject();
    EXPECT_EQ(valueNames(), std::vector<std::string>{"1C"});
}

TEST_F(ExtendToolsTest, ClosingWithoutChangesWritesTheSameValues)
{
    writeValues({{"0Viewer", "v;/x %file"}, {"1Notepad", "n"}});
    openForm()->reject();
    EXPECT_EQ(valueNames(), (std::vector<std::string>{"0Viewer", "1Notepad"}));
    const std::vector<TExtendTool> tools = ReadExtendTools();
    EXPECT_EQ(tools[0].Parameters, "/x %file");
    EXPECT_EQ(tools[1].Program, "");
    EXPECT_EQ(tools[1].Parameters, "n");
}

} // namespace
