#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "support/TempFolder.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>
#include <vector>
#include <sys/stat.h>

namespace {

const std::string kEsc = "\xC2\xA4";  // '¤'

TEST(NativeNamesTest, ReadableFormsOfKnownNames)
{
    EXPECT_EQ(ProgramName("report.txt"), "report.txt");
    EXPECT_EQ(ProgramName("中文資料夾"), "中文資料夾");
    // Big5 許 is B3 5C: its trail byte is a backslash.
    EXPECT_EQ(ProgramName("dir_\xB3\x5C"), kEsc + "~dir_許");
    EXPECT_EQ(ProgramName("bad_\xB3\\_name.txt"), kEsc + "~bad_許_name.txt");
    EXPECT_EQ(ProgramName("a\\b"), "a" + kEsc + "5Cb");
    EXPECT_EQ(ProgramName("tab\there"), "tab" + kEsc + "09here");
    EXPECT_EQ(ProgramName("a\xFF" "b"), "a" + kEsc + "FFb");
    // A lone backslash in a CP950 name is not readable CP950: byte escapes.
    EXPECT_EQ(ProgramName("\xB3\x5C\\"), kEsc + "B3" + kEsc + "5C" + kEsc + "5C");
    // The escape character itself, and a UTF-8 name that looks like a CP950 one.
    EXPECT_EQ(ProgramName(kEsc + "41"), kEsc + "C2" + kEsc + "A441");
    EXPECT_EQ(ProgramName(kEsc + "~許"), kEsc + "C2" + kEsc + "A4~許");
    EXPECT_NE(ProgramName("許"), ProgramName("\xB3\x5C"));
}

TEST(NativeNamesTest, TypedNamesBecomeUtf8AndCp950NamesStayCp950)
{
    EXPECT_EQ(NativeName("新名稱.txt"), "新名稱.txt");
    EXPECT_EQ(NativeName("price " + kEsc + " 5"), "price " + kEsc + " 5");  // not an escape
    EXPECT_EQ(NativeName(kEsc + "~許2"), "\xB3\x5C" "2");
    EXPECT_EQ(NativeName(kEsc + "~" + kEsc + "FF"), kEsc + "~\xFF");  // an escape inside: byte by byte
    // Only what ProgramName escapes is decoded: "¤2E" and "¤2F" stay text, never '.' or '/'.
    EXPECT_EQ(NativeName(kEsc + "2E" + kEsc + "2E"), kEsc + "2E" + kEsc + "2E");
    EXPECT_EQ(NativeName("a" + kEsc + "2Fb" + kEsc + "41"), "a" + kEsc + "2Fb" + kEsc + "41");
    EXPECT_EQ(NativeName(kEsc + "5C" + kEsc + "7F" + kEsc + "1F"), "\\\x7F\x1F");
    EXPECT_EQ(NativeName("x" + kEsc + "0a"), "x" + kEsc + "0a");    // lower-case hex is text
}

// Names of random bytes (no '/' or NUL): each maps to text without a backslash or a
// control character, no two names share a form, and the form maps back exactly.
TEST(NativeNamesTest, RandomByteNamesRoundTripExactly)
{
    std::mt19937 random(20261209);
    std::set<std::string> forms;
    std::set<std::string> names;
    const std::string alphabet = "aZ09.~\\\t\x7F\xA4\xB3\x5C\xC2\xE8\xA8\xB1\x80\xFF\xA1\x40";
    for (int i = 0; i < 20000; ++i) {
        std::string name;
        const int length = 1 + static_cast<int>(random() % 12);
        for (int k = 0; k < length; ++k) {
            const unsigned pick = random() % 3;
            char c = pick == 0 ? alphabet[random() % alphabet.size()] : static_cast<char>(1 + random() % 255);
            name += c == '/' ? 'x' : c;
        }
        const std::string form = ProgramName(name);
        ASSERT_EQ(NativeName(form), name) << form;
        ASSERT_TRUE(IsValidUtf8(form)) << form;
        ASSERT_EQ(form.find_first_of(std::string("\\/\x01\x1F\x7F", 5)), std::string::npos) << form;
        if (names.insert(name).second) {
            ASSERT_TRUE(forms.insert(form).second) << "two names share " << form;
        }
    }
}

// The whole path: a native path made of such names comes back byte for byte, and the
// file operations act on the bytes on disk.
class NativeNamePathTest : public ::testing::Test {
protected:
    void SetUp() override { MapTestDrives(m_dir.path()); }
    void TearDown() override { RefreshDriveMap(); }
    TempFolder m_dir;
};

TEST_F(NativeNamePathTest, ByteNamesListRenameAndDelete)
{
    std::mt19937 random(15);
    const std::string root = NativePath("D:\\");
    ASSERT_FALSE(root.empty());
    std::set<std::string> made;
    for (int i = 0; i < 60; ++i) {
        std::string name;
        for (int k = 0, n = 1 + static_cast<int>(random() % 8); k < n; ++k) {
            const char c = static_cast<char>(1 + random() % 255);
            name += c == '/' ? '\\' : c;
        }
        if (name == "." || name == ".." || !made.insert(name).second)
            continue;
        std::ofstream(root + name) << name;
    }
    std::vector<FindEntry> entries;
    ASSERT_TRUE(ListDirectory("D:\\*.*", entries));
    ASSERT_EQ(entries.size(), made.size());
    for (const FindEntry& e : entries) {
        const std::string path = "D:\\" + e.name;
        const std::string native = NativePath(path);
        ASSERT_EQ(made.count(native.substr(root.size())), 1u) << e.name;
        EXPECT_EQ(WindowsPath(native), path);
        FindEntry one;
        ASSERT_TRUE(GetFileEntry(path, one)) << e.name;
        EXPECT_EQ(one.name, e.name);
        EXPECT_EQ(one.size, native.size() - root.size());
        int error = 0;
        ASSERT_TRUE(RenameFile(path, path + "~", &error)) << e.name << " " << error;
        struct stat st {};
        EXPECT_EQ(lstat((native + "~").c_str(), &st), 0);
        ASSERT_TRUE(DeleteFile(path + "~", &error)) << error;
    }
    entries.clear();
    ASSERT_TRUE(ListDirectory("D:\\*.*", entries));
    EXPECT_TRUE(entries.empty());
}

// The native edge: no part of a path may leave its folder, however it is spelled.
TEST_F(NativeNamePathTest, NoPartStepsOutOfItsFolderHoweverSpelled)
{
    const std::string root = NativePath("D:\\");
    EXPECT_EQ(NativePath("D:\\a" + kEsc + "00"), "");
    for (const std::string& bad : std::vector<std::string>{"..", ".", kEsc + "~..", kEsc + "~.", "a\\\\b"})
        EXPECT_EQ(NativePath("D:\\dl\\" + bad + "\\x"), "") << bad;
    EXPECT_EQ(NativePath("D:\\dl\\.."), "");
    EXPECT_EQ(NativePath("D:\\dl/../x"), "");
    // Escapes the codec never writes are text: a harmless name inside the folder.
    EXPECT_EQ(NativePath("D:\\dl\\" + kEsc + "2E" + kEsc + "2E\\x"), root + "dl/" + kEsc + "2E" + kEsc + "2E/x");
    EXPECT_EQ(NativePath("D:\\a" + kEsc + "2Fb"), root + "a" + kEsc + "2Fb");
    EXPECT_EQ(NativePath("D:\\" + kEsc + "~許\\x"), root + "\xB3\x5C/x");
    EXPECT_EQ(NativePath("D:\\dl\\"), root + "dl/");
    EXPECT_EQ(NativePath("D:"), root.substr(0, root.size() - 1) + "/");
}

// The one check where names enter: the faults themselves and every escape that spells one.
TEST(NativeNamesTest, EnteringNamesAreCheckedInTheirNativeForm)
{
    for (const std::string& bad : std::vector<std::string>{std::string(), std::string("."), std::string(".."), std::string("a/b"), std::string("a\\b"),
                                  std::string("a\0b", 3), kEsc + "00", "x" + kEsc + "00", kEsc + "~..", kEsc + "~."}) {
        EXPECT_FALSE(IsPlainName(bad)) << bad;
        EXPECT_FALSE(NameFault(bad).empty()) << bad;
    }
    for (const std::string& good : std::vector<std::string>{"a.txt", "...", ". .", kEsc + "2E" + kEsc + "2E", kEsc + "2F", kEsc + "5C", "tab" + kEsc + "09",
                                   kEsc + "~許", std::string("line\nbreak")})
        EXPECT_TRUE(IsPlainName(good)) << good;
}

}  // namespace
