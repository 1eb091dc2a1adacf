#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "local/FileOperationEngine.h"
#include "local/TPropertiesForm.h"
#include "platform/NativeNames.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include <fstream>
#include <random>
#include <set>

namespace {

QStringList g_warnings;

void RecordWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << text;
}

class AddressAndNamesTest : public BrowseFixture {
protected:
    QString panel(int number) const { return m_form->statusBarPanels()->panelText(number); }

    bool listed() { return waitUntil([this] { return panel(1).contains(QStringLiteral("資料夾,")); }); }
};

// Silent file operations, for the copy through the engine the commands use.
class QuietUi : public FileOperationUi {
public:
    void begin(uint32_t, uint64_t, uint64_t) override {}
    void progress(uint64_t, const std::string&) override {}
    bool cancelled() override { return false; }
    OverwriteAnswer askOverwrite(const FileOpEntry&, const FileOpEntry&) override { return OverwriteAnswer::Cancel; }
    bool confirmDelete(const std::vector<std::string>&, bool) override { return true; }
    void end() override {}
};

TEST_F(AddressAndNamesTest, TheAddressBoxTakesEveryFormAndSaysWhatItCannotFind)
{
    makeFolder("a/深/sub");
    makeFolder(std::string("a/\xB3\x5C"));
    m_drive.writeFile("a/file.txt", "x");
    QStringList informations;
    openForm();
    m_form->ShowInformationText = [&informations](const QString& text) { informations << text; };

    go("D:\\a\\深\\sub");  // none of these folders is loaded yet
    EXPECT_EQ(shownFolder(), "D:\\a\\深\\sub\\");
    go("d:/a");
    EXPECT_EQ(shownFolder(), "D:\\a\\");
    go(m_drive.path("a/深"));
    EXPECT_EQ(shownFolder(), "D:\\a\\深\\");
    go("file://" + m_drive.path("a") + "/%B3%5C");
    EXPECT_EQ(shownFolder(), "D:\\a\\\xC2\xA4~許\\");
    go("D:\\a\\file.txt");
    EXPECT_EQ(shownFolder(), "D:\\a\\");
    const std::string tree = "local:\\" + driveD()->text(0).toStdString() + "\\a\\深\\sub\\";
    go("local:\\" + driveD()->text(0).toStdString() + "\\a\\深\\sub\\");
    EXPECT_EQ(m_form->currentAddress(), tree);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    go("D:\\a\\nothing");
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("找不到「D:\\a\\nothing」"))) << m_errors[0].toStdString();
    go("local:\\" + driveD()->text(0).toStdString() + "\\a\\none\\");
    EXPECT_EQ(m_errors.size(), 2);
    go("just words");
    EXPECT_EQ(m_errors.size(), 3);
    go("\\\\NOSERVER\\SHARE\\dir");
    EXPECT_EQ(m_errors.size(), 4);
    // A site the bookmarks do not hold is made only after a question.
    QStringList questions;
    m_form->AskQuestionText = [&questions](const QString& text) {
        questions << text;
        return false;
    };
    go("ftp://host/pub");
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("host"))) << questions[0].toStdString();
    EXPECT_TRUE(informations.isEmpty()) << informations.join('\n').toStdString();
}

// Names of random bytes: in the tree and the list, each opens, renames, copies, shows its
// properties, is moved and is deleted, and what happens on disk happens to exactly those bytes.
TEST_F(AddressAndNamesTest, NamesOfAnyBytesWorkThroughTheWindow)
{
    std::mt19937 random(1209);
    std::set<std::string> names = {"\xB3\x5C", "bad_\xB3\\_name.txt", "ctl\x01\x7F", "x\xFF\xFE", "中文.txt"};
    while (names.size() < 25) {
        std::string name;
        for (int k = 0, n = 1 + static_cast<int>(random() % 6); k < n; ++k) {
            const char c = static_cast<char>(1 + random() % 255);
            name += c == '/' ? 'a' : c;
        }
        if (name != "." && name != "..")
            names.insert(name);
    }
    makeFolder("bytes");
    makeFolder("copies");
    makeFolder("moved");
    for (const std::string& name : names)
        std::ofstream(m_drive.path("bytes/" + name)) << name;
    makeFolder("bytes/\xB3\x5C" "dir");
    openForm();
    ASSERT_TRUE(m_form->SelectLocalPath("D:\\bytes"));
    ASSERT_TRUE(listed());
    QTreeWidgetItem* folderNode = child(child(driveD(), "bytes"), "\xC2\xA4~許dir");
    ASSERT_NE(folderNode, nullptr) << captions(child(driveD(), "bytes")).join('|').toStdString();
    EXPECT_EQ(listCaptions().size(), static_cast<int>(names.size()) + 1);

    QuietUi ui;
    int round = 0;
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(RecordWarning);
    for (const std::string& name : names) {
        const QString caption = QString::fromStdString(ProgramName(name));
        ASSERT_GE(m_form->fileListView()->model()->findCaption(caption), 0) << caption.toStdString();
        const std::string path = "D:\\bytes\\" + caption.toStdString();

        TPropertiesForm properties(nullptr, {path});
        EXPECT_TRUE(properties.FieldText(44033).contains(QStringLiteral("(%1 ").arg(name.size())))
            << caption.toStdString() << " " << properties.FieldText(44033).toStdString();
        EXPECT_EQ(properties.windowTitle().contains(caption), true) << caption.toStdString();

        FileOperationEngine engine(ui);
        ASSERT_EQ(engine.Run(FO_COPY, {NativePath(path)}, NativePath("D:\\copies\\"), FOF_NOCONFIRMATION).code, 0);
        EXPECT_EQ(m_drive.readFile("copies/" + name), name);
        const std::string copy = "D:\\copies\\" + caption.toStdString();
        ASSERT_EQ(engine.Run(FO_MOVE, {NativePath(copy)}, NativePath("D:\\moved\\"), FOF_NOCONFIRMATION).code, 0);
        EXPECT_EQ(m_drive.readFile("moved/" + name), name);
        EXPECT_FALSE(std::filesystem::exists(m_drive.path("copies/" + name)));

        // Renamed as the user does it: the view's own editor, committed with Enter.
        const std::string renamed = name + std::to_string(round++);
        TListModel* model = m_form->fileListView()->model();
        QAbstractItemView* view = m_form->fileListView()->currentView();
        const QModelIndex index = model->index(model->findCaption(caption), 0);
        view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_form->M1Click();
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        if (!editor)
            editor = view->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->setText(QString::fromStdString(ProgramName(renamed)));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(editor, &enter);
        QApplication::processEvents();
        EXPECT_EQ(m_drive.readFile("bytes/" + renamed), name)
            << caption.toStdString() << " " << m_shellErrors.join('|').toStdString() << " " << listCaptions().join('|').toStdString();
        EXPECT_FALSE(std::filesystem::exists(m_drive.path("bytes/" + name)));

        ASSERT_EQ(engine.Run(FO_DELETE, {NativePath("D:\\bytes\\" + ProgramName(renamed))}, "", FOF_NOCONFIRMATION).code, 0);
        EXPECT_FALSE(std::filesystem::exists(m_drive.path("bytes/" + renamed)));
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join('\n').toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    // Opening the folder node of a Big5 name shows its (empty) listing.
    m_form->FolderTreeView->setCurrentItem(folderNode);
    EXPECT_TRUE(listed());
    EXPECT_EQ(m_form->currentAddress(), "local:\\" + driveD()->text(0).toStdString() + "\\bytes\\\xC2\xA4~許dir\\");
}

}  // namespace
