#include <gtest/gtest.h>

#include "local/TempTree.h"
#include "local/WaitFor.h"
#include "platform/NativeNames.h"
#include "platform/ShellServices.h"
#include "platform/TextPathAlias.h"
#include "support/DialogScript.h"
#include "support/ScopedEnvironment.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/stat.h>

TEST(ShellServices, SpecialFoldersAreTheXdgFoldersThatExist)
{
    TempTree t;
    ScopedEnvironment env{"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
    setenv("HOME", t.root().c_str(), 1);
    setenv("XDG_CONFIG_HOME", t.path("config").c_str(), 1);
    setenv("XDG_DATA_HOME", t.path("data").c_str(), 1);
    t.write("config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/桌面\"\nXDG_DOCUMENTS_DIR=\"$HOME/文件\"\n");
    t.mkdir("桌面");
    t.mkdir("data/Trash/files");
    t.mkdir("config/autostart");

    EXPECT_EQ(ShellServices::SpecialFolderPath(16), t.path("桌面"));
    EXPECT_EQ(ShellServices::SpecialFolderPath(0), t.path("桌面"));
    EXPECT_EQ(ShellServices::SpecialFolderPath(17), "/");
    EXPECT_EQ(ShellServices::SpecialFolderPath(10), t.path("data/Trash/files"));
    EXPECT_EQ(ShellServices::SpecialFolderPath(7), t.path("config/autostart"));
    EXPECT_EQ(ShellServices::SpecialFolderPath(5), "");   // named, but not there
    EXPECT_EQ(ShellServices::SpecialFolderPath(20), "");  // no fonts folder yet
    for (int none : {1, 3, 4, 6, 8, 9, 18})
        EXPECT_EQ(ShellServices::SpecialFolderPath(none), "") << none;
}

TEST(ShellServices, OnlyExecutableProgramTypesRunDirectly)
{
    TempTree t;
    t.write("script.sh", "#!/bin/sh\nexit 0\n");
    t.write("notes.txt", "plain text\n");
    chmod(t.path("script.sh").c_str(), 0755);
    chmod(t.path("notes.txt").c_str(), 0755);  // as on a volume without permissions
    EXPECT_TRUE(ShellServices::IsProgram(t.path("script.sh")));
    EXPECT_FALSE(ShellServices::IsProgram(t.path("notes.txt")));
    chmod(t.path("script.sh").c_str(), 0644);
    EXPECT_FALSE(ShellServices::IsProgram(t.path("script.sh")));
    EXPECT_FALSE(ShellServices::IsProgram(t.root()));
    EXPECT_EQ(ShellServices::Open(t.path("missing"), ""), ShellServices::ShellFileNotFound);
}

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Aliases made in a runtime folder of the test's own.
class TextPathAliasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tree.mkdir("runtime");
        setenv("XDG_RUNTIME_DIR", m_tree.path("runtime").c_str(), 1);
    }
    TempTree m_tree;
    ScopedEnvironment m_env{"XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME",
                            "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"};
};

} // namespace

TEST_F(TextPathAliasTest, NamesThatAreNotUtf8GetATextAliasOfTheExactFile)
{
    const std::string big5 = "bad_\xB3\\_name.txt";
    m_tree.write(big5, "the Big5 one");
    m_tree.write("bad_name.txt", "a neighbour with the bytes replaced");
    m_tree.mkdir("dir_\xFF");
    m_tree.write("dir_\xFF/inner", "inside");

    EXPECT_EQ(TextPathAlias(m_tree.path("中文.txt")), m_tree.path("中文.txt"));

    const std::string alias = TextPathAlias(m_tree.path(big5));
    ASSERT_FALSE(alias.empty());
    EXPECT_TRUE(IsValidUtf8(alias));
    EXPECT_EQ(alias.rfind(TextPathAliasFolder() + "/", 0), 0u) << alias;
    EXPECT_EQ(alias.substr(alias.rfind('/') + 1), ProgramName(big5));
    EXPECT_EQ(readAll(alias), "the Big5 one");
    EXPECT_EQ(std::filesystem::canonical(alias).string(), std::filesystem::canonical(m_tree.path(big5)).string());
    // Each call makes its own alias; a folder's alias reaches what is inside it.
    EXPECT_NE(TextPathAlias(m_tree.path(big5)), alias);
    EXPECT_EQ(readAll(TextPathAlias(m_tree.path("dir_\xFF")) + "/inner"), "inside");

    struct stat st {};
    ASSERT_EQ(::lstat(TextPathAliasFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Names of random bytes: each alias is text and opens its own file.
    std::mt19937 random(915);
    for (int round = 0; round < 40; ++round) {
        std::string name;
        for (int k = 0, n = 1 + static_cast<int>(random() % 10); k < n; ++k) {
            const char c = static_cast<char>(1 + random() % 255);
            name += c == '/' ? '\xFF' : c;
        }
        if (name == "." || name == "..")
            continue;
        m_tree.write("random/" + name, name);
        const std::string aliasOf = TextPathAlias(m_tree.path("random/" + name));
        EXPECT_TRUE(IsValidUtf8(aliasOf)) << ProgramName(name);
        EXPECT_EQ(readAll(aliasOf), name) << ProgramName(name);
    }

    // A name too long for the folder once escaped keeps its extension.
    const std::string longName = std::string(200, '\xFF') + ".txt";
    m_tree.write(longName, "long");
    const std::string longAlias = TextPathAlias(m_tree.path(longName));
    EXPECT_EQ(readAll(longAlias), "long");
    EXPECT_EQ(longAlias.substr(longAlias.size() - 4), ".txt");
}

TEST_F(TextPathAliasTest, OldAliasesGoAndAFolderOthersCanEnterIsRefused)
{
    m_tree.write("x\xFF", "kept");
    const std::string old = TextPathAlias(m_tree.path("x\xFF"));
    ASSERT_FALSE(old.empty());
    const std::string oldFolder = old.substr(0, old.rfind('/'));
    const timespec longAgo[2] = {{0, 0}, {std::time(nullptr) - 2 * 24 * 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, oldFolder.c_str(), longAgo, AT_SYMLINK_NOFOLLOW), 0);
    const std::string fresh = TextPathAlias(m_tree.path("x\xFF"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(oldFolder)));
    EXPECT_EQ(readAll(fresh), "kept");
    EXPECT_EQ(m_tree.read("x\xFF"), "kept");  // removing an alias never touches its file

    ::chmod(TextPathAliasFolder().c_str(), 0777);
    int error = 0;
    EXPECT_EQ(TextPathAlias(m_tree.path("x\xFF"), &error), "");
    EXPECT_EQ(error, EACCES);
}

// The application the desktop names for a file, and a program run directly, both get a
// path that opens the exact file whose name is not UTF-8.
TEST_F(TextPathAliasTest, ApplicationsAndProgramsReceiveAPathThatOpensTheExactFile)
{
    setenv("XDG_DATA_HOME", m_tree.path("home-data").c_str(), 1);
    m_tree.mkdir("mime-data");
    std::filesystem::create_directory_symlink("/usr/share/mime", m_tree.path("mime-data/mime"));
    setenv("XDG_DATA_DIRS", m_tree.path("mime-data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", m_tree.path("home-config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", m_tree.path("no-config").c_str(), 1);
    setenv("XDG_CURRENT_DESKTOP", "TestDesk", 1);
    // The application copies what it opens and records where that really is.
    m_tree.write("bin/viewer", "#!/bin/sh\ncat \"$1\" > \"$0.opened\"\nreadlink -f \"$1\" > \"$0.real\"\n");
    ::chmod(m_tree.path("bin/viewer").c_str(), 0755);
    m_tree.write("home-data/applications/viewer.desktop",
                 "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + m_tree.path("bin/viewer") + " %f\n");
    m_tree.write("home-config/mimeapps.list", "[Default Applications]\ntext/plain=viewer.desktop\n");

    const std::string folder = std::filesystem::canonical(m_tree.root()).string() + "/files_\xA4\x40";
    std::filesystem::create_directory(folder);
    const std::string file = folder + "/bad_\xB3\\_name.txt";
    std::ofstream(file, std::ios::binary) << "Big5 named text\n";
    std::ofstream(folder + "/bad_name.txt", std::ios::binary) << "a neighbour\n";

    EXPECT_EQ(ShellServices::Open(file, ""), ShellServices::ShellOk);
    ASSERT_TRUE(WaitFor([&] { return !m_tree.read("bin/viewer.real").empty(); }));
    EXPECT_EQ(m_tree.read("bin/viewer.opened"), "Big5 named text\n");
    EXPECT_EQ(m_tree.read("bin/viewer.real"), file + "\n");

    // A program whose own name and folder are not UTF-8 runs in its real folder.
    const std::string program = folder + "/run_\xFF.sh";
    std::ofstream(program, std::ios::binary) << "#!/bin/sh\npwd -P > ran.txt\nprintf '%s\\n' \"$@\" >> ran.txt\n";
    ::chmod(program.c_str(), 0755);
    QString question;
    {
        DialogScript answer;
        answer.then<QMessageBox>([&](QMessageBox& box) {
            question = box.text();
            box.button(QMessageBox::Yes)->click();
        });
        EXPECT_EQ(ShellServices::Open(program, "one \"two words\""), ShellServices::ShellOk);
    }
    EXPECT_TRUE(question.contains("run_")) << question.toStdString();
    ASSERT_TRUE(WaitFor([&] { return readAll(folder + "/ran.txt").find("two words") != std::string::npos; }));
    EXPECT_EQ(readAll(folder + "/ran.txt"), folder + "\none\ntwo words\n");
}
