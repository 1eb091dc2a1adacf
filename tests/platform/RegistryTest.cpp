#include "platform/Exception.h"
#include "platform/RegistryFile.h"
#include "platform/RegistryStore.h"
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { useFile(m_dir.path("config/registry.reg")); }
    void useFile(const std::string& path) { setenv("TAMSEL_CONFIG", path.c_str(), 1); }
    std::string file() const { return m_dir.readFile("config/registry.reg"); }

    ScopedEnvironment m_environment{"TAMSEL_CONFIG", "XDG_CONFIG_HOME", "HOME"};
    TempFolder m_dir;
};

TEST_F(RegistryTest, PathComesFromEnvironment)
{
    EXPECT_EQ(RegistryFilePath(), m_dir.path("config/registry.reg"));
    unsetenv("TAMSEL_CONFIG");
    setenv("XDG_CONFIG_HOME", "/x/conf", 1);
    EXPECT_EQ(RegistryFilePath(), "/x/conf/tamsel/registry.reg");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(RegistryFilePath(), "/home/u/.config/tamsel/registry.reg");
}

TEST_F(RegistryTest, EveryTypeRoundTripsThroughTheFile)
{
    const std::vector<uint8_t> colour = {0x80, 0x00, 0x00, 0x00};
    {
        Registry reg;
        ASSERT_TRUE(reg.openKey("Software\\Brightmoor\\Morvane\\Tamsel", true));
        reg.writeString("Version", "1.0 Release");
        reg.writeString("Path", "C:\\dir\\\"quoted\"\\");
        reg.writeString("Name", "檔案管理員");
        reg.writeString("Lines", "one\r\ntwo");
        reg.writeString("Empty", "");
        reg.writeInteger("FontSize", 12);
        reg.writeInteger("Big", 0xFFFFFFFFu);
        reg.writeBool("ShowText", true);
        reg.writeBinary("Color1", colour);
        reg.writeBinary("Blank", {});
        reg.writeString("", "default");
    }
    const std::string text = file();
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    for (const char* line : {"[HKEY_CURRENT_USER\\Software\\Brightmoor\\Morvane\\Tamsel]\n",
                             "\"Path\"=\"C:\\\\dir\\\\\\\"quoted\\\"\\\\\"\n", "\"Name\"=\"檔案管理員\"\n",
                             "\"FontSize\"=dword:0000000c\n", "\"Big\"=dword:ffffffff\n",
                             "\"Color1\"=hex:80,00,00,00\n", "\"Blank\"=hex:\n", "@=\"default\"\n",
                             "\"Lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,00,00\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    // Read back by a fresh store from a copy of the file.
    fs::copy_file(m_dir.path("config/registry.reg"), m_dir.path("copy.reg"));
    useFile(m_dir.path("copy.reg"));
    Registry reg;
    ASSERT_TRUE(reg.openKey("software\\BRIGHTMOOR\\morvane\\tamsel", false));
    EXPECT_EQ(reg.currentPath(), "Software\\Brightmoor\\Morvane\\Tamsel");
    EXPECT_EQ(reg.readString("Path"), "C:\\dir\\\"quoted\"\\");
    EXPECT_EQ(reg.readString("Name"), "檔案管理員");
    EXPECT_EQ(reg.readString("Lines"), "one\r\ntwo");
    EXPECT_EQ(reg.readString("Empty"), "");
    EXPECT_EQ(reg.readString(""), "default");
    EXPECT_EQ(reg.readInteger("fontsize"), 12u);
    EXPECT_EQ(reg.readInteger("Big"), 0xFFFFFFFFu);
    EXPECT_TRUE(reg.readBool("ShowText"));
    EXPECT_EQ(reg.readBinary("Color1", 4), colour);
    EXPECT_TRUE(reg.readBinary("Blank", 4).empty());
    EXPECT_EQ(reg.valueType("Color1"), RegType::Binary);
    EXPECT_EQ(reg.valueType("Nothing"), std::nullopt);
}

// A share name with a line break, remembered with its password, once broke the file and so
// lost every setting at the next start. Names the format cannot carry are refused instead.
TEST_F(RegistryTest, NamesThatWouldBreakTheFileAreRefused)
{
    {
        Registry reg;
        ASSERT_TRUE(reg.openKey("Software\\Tamsel\\Passwords", true));
        reg.writeString("\\\\PC\\music", "user;secret");
        for (const std::string bad : {std::string("\\\\PC\\a\nb"), std::string("x\r"), std::string("n\0ul", 4), std::string("tab\t")})
            EXPECT_THROW(reg.writeString(bad, "user;other"), Exception) << bad;
        EXPECT_FALSE(reg.openKey("Software\\Tamsel\\new\nkey", true));
        EXPECT_NE(reg.lastError(), "");
    }
    // The file is whole: a fresh read gives back the one good value and nothing else.
    std::vector<RegKey> keys;
    std::string error;
    ASSERT_TRUE(RegistryStore::parse(file(), keys, &error)) << error;
    Registry reg;
    ASSERT_TRUE(reg.openKey("Software\\Tamsel\\Passwords", false));
    EXPECT_EQ(reg.valueNames(), std::vector<std::string>{"\\\\PC\\music"});
    EXPECT_EQ(reg.readString("\\\\PC\\music"), "user;secret");
    EXPECT_EQ(file().find("new"), std::string::npos);
}

TEST_F(RegistryTest, ValueOrderIsKept)
{
    Registry reg;
    ASSERT_TRUE(reg.openKey("Software\\Order", true));
    for (const char* name : {"Version", "Zeta", "Alpha", "Mid"})
        reg.writeInteger(name, 1);
    reg.writeInteger("ZETA", 2);  // same value, other case: keeps its place and spelling
    ASSERT_TRUE(reg.deleteValue("alpha"));
    reg.writeInteger("Alpha", 3);
    const std::vector<std::string> expected = {"Version", "Zeta", "Mid", "Alpha"};
    EXPECT_EQ(reg.valueNames(), expected);
    EXPECT_EQ(reg.readInteger("Zeta"), 2u);
    reg.closeKey();
    fs::copy_file(m_dir.path("config/registry.reg"), m_dir.path("copy.reg"));
    useFile(m_dir.path("copy.reg"));
    Registry again;
    ASSERT_TRUE(again.openKey("Software\\Order", false));
    EXPECT_EQ(again.valueNames(), expected);
}

TEST_F(RegistryTest, MissingKeysAreCreatedRelativeToTheOpenKey)
{
    Registry reg;
    EXPECT_FALSE(reg.openKey("Software\\Brightmoor\\Morvane", false));
    EXPECT_FALSE(fs::exists(m_dir.path("config/registry.reg")));  // nothing to write yet
    ASSERT_TRUE(reg.openKey("Software\\Brightmoor\\Morvane", true));
    ASSERT_TRUE(reg.openKey("Tamsel", true));
    EXPECT_EQ(reg.currentPath(), "Software\\Brightmoor\\Morvane\\Tamsel");
    ASSERT_TRUE(reg.openKey("ExtendTool\\List\\", true));
    EXPECT_EQ(reg.currentPath(), "Software\\Brightmoor\\Morvane\\Tamsel\\ExtendTool\\List");
    EXPECT_FALSE(reg.openKey("Nowhere", false));
    EXPECT_EQ(reg.currentPath(), "Software\\Brightmoor\\Morvane\\Tamsel\\ExtendTool\\List");
    ASSERT_TRUE(reg.openKey("\\Software\\Brightmoor\\Morvane\\Tamsel\\NetPassword", true));
    reg.closeKey();

    const std::string text = file();
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software]\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Brightmoor\\Morvane\\Tamsel\\ExtendTool]\n"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(m_dir.path("config/registry.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path("config")), fs::directory_iterator()), 1);

    ASSERT_TRUE(reg.openKey("Software\\Brightmoor\\Morvane\\Tamsel", false));
    const std::vector<std::string> subKeys = {"ExtendTool", "NetPassword"};
    EXPECT_EQ(reg.subKeyNames(), subKeys);
    EXPECT_TRUE(reg.deleteKey("ExtendTool"));
    EXPECT_FALSE(reg.keyExists("ExtendTool\\List"));
    EXPECT_TRUE(reg.keyExists("\\SOFTWARE\\Brightmoor"));
    EXPECT_FALSE(reg.openKey("a\\\\b", true));
}

TEST_F(RegistryTest, TypedReadsThrow)
{
    Registry reg;
    EXPECT_THROW(reg.readString("x"), Exception);  // no key open
    EXPECT_THROW(reg.writeString("x", "y"), Exception);
    ASSERT_TRUE(reg.openKey("Software\\T", true));
    reg.writeString("S", "text");
    reg.writeInteger("D", 1);
    reg.writeBinary("B", {1, 2, 3, 4, 5});
    EXPECT_THROW(reg.readInteger("Missing"), Exception);
    EXPECT_THROW(reg.readString("D"), Exception);
    EXPECT_THROW(reg.readInteger("S"), Exception);
    EXPECT_THROW(reg.readBool("B"), Exception);
    EXPECT_THROW(reg.readBinary("S", 10), Exception);
    EXPECT_THROW(reg.readBinary("B", 4), Exception);
    EXPECT_EQ(reg.readBinary("B", 5).size(), 5u);
    try {
        reg.readInteger("S");
    } catch (const Exception& e) {
        EXPECT_NE(e.message().find("\"S\""), std::string::npos);
    }
}

TEST_F(RegistryTest, HandWrittenFilesAreRead)
{
    // CRLF, comments, a hex list over three lines, escapes, a repeated section.
    m_dir.writeFile("hand.reg",
                    "Windows Registry Editor Version 5.00\r\n\r\n; comment\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Hand]\r\n"
                    "\"Esc\"=\"a\\\\b\\\"c\"\r\n"
                    "\"Long\"=hex:01,02,\\\r\n  03,04,\\\r\n  05\r\n"
                    "\"Dw\"=hex(4):0c,00,00,00\r\n"
                    "\"Odd\"=\"C:\\dir\"\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                    "[HKEY_CURRENT_USER\\SOFTWARE\\HAND]\r\n\"Two\"=dword:2\r\n");
    useFile(m_dir.path("hand.reg"));
    Registry reg;
    ASSERT_TRUE(reg.openKey("Software\\Hand", false)) << reg.lastError();
    EXPECT_EQ(reg.readString("Esc"), "a\\b\"c");
    EXPECT_EQ(reg.readBinary("Long", 10), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(reg.readInteger("Dw"), 12u);
    EXPECT_EQ(reg.readString("Odd"), "C:\\dir");
    EXPECT_EQ(reg.readInteger("Two"), 2u);

    // The system's own export: UTF-16LE with a byte order mark.
    const std::string utf8 = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\W]\r\n\"N\"=\"中\"\r\n";
    std::u16string utf16 = u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\W]\r\n\"N\"=\"中\"\r\n";
    std::string bytes;
    for (char16_t c : utf16) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    m_dir.writeFile("utf16.reg", bytes);
    useFile(m_dir.path("utf16.reg"));
    Registry wide;
    ASSERT_TRUE(wide.openKey("Software\\W", false)) << wide.lastError();
    EXPECT_EQ(wide.readString("N"), "中");
}

TEST_F(RegistryTest, DamagedFileIsMovedAsideNeverOverwritten)
{
    const std::vector<std::string> damaged = {
        "garbage\n",
        "Windows Registry Editor Version 5.00\n\n\"NoKey\"=dword:1\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"X\"=dword:123456789\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"X\"=\"open\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"X\"=hex:1,2,\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"X\"=hex(2):41,00\n",
        "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\n",
        // Cut inside a value: each reads as a value, but the file ends before its line does.
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"ViewStyle\"=dword:000",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"Color1\"=hex:80,00,0",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"Text\"=\"cut\"",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]",
    };
    for (size_t i = 0; i < damaged.size(); ++i) {
        const std::string name = "bad" + std::to_string(i);
        fs::create_directory(m_dir.path(name));
        m_dir.writeFile(name + "/registry.reg", damaged[i]);
        useFile(m_dir.path(name + "/registry.reg"));
        Registry reg;
        EXPECT_NE(reg.lastError().find("已損壞"), std::string::npos) << i;
        ASSERT_TRUE(reg.openKey("Software\\New", true)) << i;
        reg.writeInteger("V", 1);
        ASSERT_TRUE(reg.flush()) << i;
        // The old content survives, under a name that says why.
        int asideCount = 0;
        for (const auto& entry : fs::directory_iterator(m_dir.path(name))) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("registry.reg.damaged-", 0) == 0) {
                ++asideCount;
                EXPECT_EQ(m_dir.readFile(name + "/" + file), damaged[i]);
            }
        }
        EXPECT_EQ(asideCount, 1) << i;
        EXPECT_NE(m_dir.readFile(name + "/registry.reg").find("\"V\"=dword:00000001"), std::string::npos);
    }
}

TEST_F(RegistryTest, EmptyFilesSpecialFilesAndLeftoversOfAnInterruptedSave)
{
    // An empty file: defaults, said, and nothing set aside (there is nothing to keep).
    fs::create_directory(m_dir.path("empty"));
    m_dir.writeFile("empty/registry.reg", "");
    useFile(m_dir.path("empty/registry.reg"));
    {
        Registry reg;
        EXPECT_NE(reg.lastError().find("是空的"), std::string::npos) << reg.lastError();
        EXPECT_FALSE(reg.openKey("Software\\A", false));
        ASSERT_TRUE(reg.openKey("Software\\A", true));
        reg.writeInteger("V", 1);
        EXPECT_TRUE(reg.flush());
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path("empty")), {}), 1);

    // Temporary files of saves whose process died go at the next start; a live one's stay.
    fs::create_directory(m_dir.path("left"));
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    const std::string dead = "left/registry.reg.tmp-" + std::to_string(child);
    const std::string live = "left/registry.reg.tmp-" + std::to_string(getppid());
    m_dir.writeFile(dead, "half a save");
    m_dir.writeFile("left/registry.reg.probe-" + std::to_string(child), "");
    m_dir.writeFile(live, "someone else's save");
    m_dir.writeFile("left/registry.reg", "Windows Registry Editor Version 5.00\n");
    useFile(m_dir.path("left/registry.reg"));
    {
        Registry reg;
        EXPECT_EQ(reg.lastError(), "");
    }
    EXPECT_FALSE(fs::exists(m_dir.path(dead)));
    EXPECT_FALSE(fs::exists(m_dir.path("left/registry.reg.probe-" + std::to_string(child))));
    EXPECT_TRUE(fs::exists(m_dir.path(live)));

    // A FIFO or a folder in the file's place: refused at once, and never written over.
    for (const char* kind : {"fifo", "folder"}) {
        const std::string folder = std::string("special-") + kind;
        fs::create_directory(m_dir.path(folder));
        const std::string path = m_dir.path(folder + "/registry.reg");
        if (std::string(kind) == "fifo")
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        else
            fs::create_directory(path);
        useFile(path);
        Registry reg;
        EXPECT_NE(reg.lastError().find("無法讀取設定檔"), std::string::npos) << kind << ": " << reg.lastError();
        EXPECT_FALSE(reg.openKey("Software\\A", true)) << kind;
        EXPECT_EQ(fs::is_fifo(path), std::string(kind) == "fifo");
        EXPECT_EQ(fs::is_directory(path), std::string(kind) == "folder");
    }
}

// Runs `check` in this process, or as an unprivileged user in a child when this process is
// root (root writes through every permission bit).
// `owned` is handed to that user first.
void AsUnprivilegedUser(const std::function<std::string()>& check, const std::string& owned)
{
    if (geteuid() != 0) {
        const std::string failure = check();
        EXPECT_EQ(failure, "");
        return;
    }
    ASSERT_EQ(chown(owned.c_str(), 65534, 65534), 0);
    for (const auto& entry : fs::recursive_directory_iterator(owned))
        ASSERT_EQ(chown(entry.path().c_str(), 65534, 65534), 0);
    EXPECT_EXIT(
        {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(3);
            const std::string failure = check();
            std::fprintf(stderr, "%s", failure.c_str());
            _exit(failure.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(RegistryTest, ReadOnlyLocationFailsCleanly)
{
    {
        Registry reg;
        ASSERT_TRUE(reg.openKey("Software\\Kept", true));
        reg.writeString("Old", "value");
    }
    const std::string folder = m_dir.path("config");
    const std::string before = file();
    fs::create_directory(m_dir.path("damaged"));
    m_dir.writeFile("damaged/registry.reg", "not a registry file");
    AsUnprivilegedUser(
        [&]() -> std::string {
            if (chmod(folder.c_str(), 0500) != 0)
                return "chmod failed";
            Registry reg;
            if (!reg.openKey("Software\\Kept", false) || reg.readString("Old") != "value")
                return "existing key unreadable";
            try {
                reg.writeString("New", "x");
                return "write to a read-only folder succeeded";
            } catch (const Exception& e) {
                if (e.message().find("registry.reg") == std::string::npos)
                    return "error names no file: " + e.message();
            }
            if (reg.valueExists("New"))
                return "failed write left a value";
            Registry other;
            if (other.openKey("Software\\Missing", true))
                return "key created in a read-only folder";
            if (other.lastError().empty())
                return "no error text";

            // Damaged, and it cannot be moved aside: it is never written over.
            if (chmod(m_dir.path("damaged").c_str(), 0500) != 0)
                return "chmod failed";
            setenv("TAMSEL_CONFIG", m_dir.path("damaged/registry.reg").c_str(), 1);
            Registry damaged;
            if (damaged.lastError().find("已損壞") == std::string::npos)
                return "no damage reported: " + damaged.lastError();
            if (damaged.openKey("Software\\New", true))
                return "key created over a damaged file";
            return "";
        },
        m_dir.path());
    chmod(folder.c_str(), 0700);
    chmod(m_dir.path("damaged").c_str(), 0700);
    EXPECT_EQ(file(), before);
    EXPECT_EQ(m_dir.readFile("damaged/registry.reg"), "not a registry file");
}

TEST_F(RegistryTest, ReloadsWhenAnotherWriterReplacedTheFile)
{
    {
        Registry reg;
        ASSERT_TRUE(reg.openKey("Software\\R", true));
        reg.writeInteger("V", 1);
    }
    m_dir.writeFile("other.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\R]\n\"V\"=dword:00000002\n");
    fs::rename(m_dir.path("other.reg"), m_dir.path("config/registry.reg"));
    Registry reg;
    ASSERT_TRUE(reg.openKey("Software\\R", false));
    EXPECT_EQ(reg.readInteger("V"), 2u);
}

}  // namespace

namespace {

TEST_F(RegistryTest, ShellFoldersComeFromTheUserFolders)
{
    setenv("HOME", "/home/anna", 1);
    setenv("XDG_CONFIG_HOME", m_dir.path().c_str(), 1);
    m_dir.writeFile("user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\nXDG_MUSIC_DIR=\"$HOME/Music\"\n");
    {
        Registry reg;
        ASSERT_TRUE(reg.openKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", false));
        EXPECT_EQ(reg.readString("Desktop"), "C:\\home\\anna\\桌面");
        EXPECT_EQ(reg.readString("Personal"), "C:\\home\\anna");  // no documents folder named
        EXPECT_THROW(reg.writeString("Desktop", "x"), Exception);
        EXPECT_FALSE(reg.deleteValue("Desktop"));
        ASSERT_TRUE(reg.openKey("\\Software\\Tamsel", true));
        reg.writeInteger("V", 1);
    }
    EXPECT_EQ(file().find("Shell Folders"), std::string::npos);  // never stored
}

}  // namespace
