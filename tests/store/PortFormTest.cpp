#include "store/TPortForm.h"
#include "StoreFolder.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

namespace {

struct Wizard {
    explicit Wizard(const StoreFolder& cache, const std::string& archive)
        : form(nullptr, cache.win())
    {
        form.setArchiveNameProvider([archive](bool) { return QString::fromStdString(archive); });
        form.setMessageSink([this](const QString& text, bool error) {
            messages.push_back(text.toStdString());
            errors += error;
        });
    }
    TPortForm form;
    std::vector<std::string> messages;
    int errors = 0;
};

void makeTree(const StoreFolder& cache, size_t bigSize = 0)
{
    std::filesystem::create_directories(cache.path("Bookmark/功能表"));
    std::filesystem::create_directories(cache.path("Net"));
    cache.writeFile("Bookmark/ALL.NOD", std::string(704, 'a'));
    cache.writeFile("Bookmark/功能表/ALL.NOD", std::string(1408, 'b'));
    cache.writeFile("Net/ALL.NOD", "net");
    if (bigSize) {
        std::string big;
        for (size_t k = 0; big.size() < bigSize; k++)
            big += std::to_string(k * 2654435761u);
        cache.writeFile("Bookmark/big.bin", big);
    }
}

} // namespace

TEST(PortForm, ExportThenImportIntoAnotherCache)
{
    StoreFolder cache, other, archives;
    makeTree(cache);
    const std::string archive = archives.path("bookmarks.che");
    {
        Wizard w(cache, archive);
        EXPECT_EQ(w.form.windowTitle(), QStringLiteral("匯出匯入精靈"));
        w.form.BitBtn2->click();
        EXPECT_EQ(w.messages, std::vector<std::string>{"完成匯出動作"});
        EXPECT_EQ(w.form.result(), QDialog::Accepted);
        EXPECT_EQ(w.form.TotalPBar->value(), 1 * 100 / 2 + 1);  // after the last of two files
        EXPECT_EQ(w.form.CurLabel->text(), QStringLiteral("Bookmark\\功能表\\ALL.NOD"));
    }
    EXPECT_TRUE(std::filesystem::exists(archive));
    {
        Wizard w(other, archive);
        w.form.DirRadioGroup->button(1)->setChecked(true);
        w.form.TypeRadioGroup->button(1)->setChecked(true);  // the names decide where files go
        w.form.BitBtn2->click();
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0].rfind("完成匯入動作\r\n", 0), 0u);
        EXPECT_EQ(w.errors, 0);
    }
    EXPECT_EQ(other.readFile("Bookmark/功能表/ALL.NOD"), std::string(1408, 'b'));
    EXPECT_FALSE(other.exists("Net"));
}

TEST(PortForm, StopAndCloseDuringAJob)
{
    StoreFolder cache, archives;
    makeTree(cache, 3'000'000);
    Wizard w(cache, archives.path("x.che"));
    bool closeRefused = false;
    QTimer::singleShot(0, &w.form, [&] {
        w.form.close();                 // refused while busy
        closeRefused = w.form.busy();
        w.form.BitBtn1->click();        // "停止"
    });
    w.form.BitBtn2->click();
    EXPECT_TRUE(closeRefused);
    ASSERT_EQ(w.messages.size(), 2u);
    EXPECT_NE(w.messages[0].find("正在進行"), std::string::npos);
    EXPECT_EQ(w.messages[1], "已停止匯出動作，沒有寫出封存檔");
    EXPECT_FALSE(w.form.busy());
    EXPECT_FALSE(archives.exists("x.che"));
}

// A stop leaves the old archive and the cache as they were, and the wizard says so.
TEST(PortForm, AStoppedJobSaysNothingChanged)
{
    StoreFolder cache, other, archives;
    makeTree(cache, 3'000'000);
    const std::string archive = archives.path("x.che");
    {
        Wizard w(cache, archive);
        w.form.BitBtn2->click();
        ASSERT_EQ(w.messages, std::vector<std::string>{"完成匯出動作"});
    }
    const std::string whole = archives.readFile("x.che");
    const auto stopSoon = [](Wizard& w) { QTimer::singleShot(0, &w.form, [&w] { w.form.BitBtn1->click(); }); };
    {
        Wizard w(cache, archive);
        stopSoon(w);
        w.form.BitBtn2->click();
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0], "已停止匯出動作，原有的封存檔保持不變：" + archive);
    }
    EXPECT_EQ(archives.readFile("x.che"), whole);
    {
        Wizard w(other, archive);
        w.form.DirRadioGroup->button(1)->setChecked(true);
        stopSoon(w);
        w.form.BitBtn2->click();
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0], "已停止匯入動作，沒有還原任何檔案，快取保持不變");
    }
    EXPECT_FALSE(other.exists("Bookmark"));
}

TEST(PortForm, AnErrorKeepsTheWizardOpen)
{
    StoreFolder cache, archives;
    archives.writeFile("bad.che", "not an archive");
    Wizard w(cache, archives.path("bad.che"));
    w.form.DirRadioGroup->button(1)->setChecked(true);
    w.form.BitBtn2->click();
    EXPECT_EQ(w.messages, std::vector<std::string>{"Not Support Type"});
    EXPECT_EQ(w.errors, 1);
    EXPECT_NE(w.form.result(), QDialog::Accepted);
    EXPECT_FALSE(w.form.busy());
}
