#pragma once
#include "platform/FileSystem.h"
#include "platform/Win32Error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

// What every FileSystem must answer alike, whatever lies behind it: the file operations
// rely on these codes to tell a missing entry from a refusal, a name in use from a
// failed rename, and a folder still in use from one that went. `root` is an empty folder
// of the file system, in its native form.
inline void CheckFileSystemContract(FileSystem& files, const std::string& root)
{
    const auto at = [&root](const std::string& rest) { return root + "/" + rest; };
    const auto namesIn = [&files](const std::string& folder) {
        std::vector<std::string> names;
        EXPECT_EQ(files.list(folder, &names), 0) << folder;
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto write = [&files](const std::string& path, const std::string& text) {
        int code = -1;
        std::unique_ptr<PlatformFile> file = files.createFile(path, &code);
        ASSERT_TRUE(file) << path << " " << code;
        EXPECT_TRUE(file->write(text.data(), text.size()));
        EXPECT_TRUE(file->close());
    };
    const auto read = [&files](const std::string& path) {
        int code = -1;
        std::unique_ptr<PlatformFile> file = files.openForReading(path, &code);
        if (!file)
            return "(code " + std::to_string(code) + ")";
        std::string text(64, '\0');
        size_t got = 0;
        EXPECT_TRUE(file->read(text.data(), text.size(), &got));
        text.resize(got);
        return text;
    };

    FileStatus st;
    EXPECT_EQ(files.status(at("missing"), &st), Win32::FileNotFound);
    EXPECT_FALSE(files.exists(at("missing")));
    EXPECT_EQ(files.removeFile(at("missing")), Win32::FileNotFound);
    std::vector<std::string> none;
    EXPECT_NE(files.list(at("missing"), &none), 0);

    ASSERT_EQ(files.makeFolder(at("d"), 0755), 0);
    ASSERT_EQ(files.status(at("d"), &st), 0);
    EXPECT_TRUE(st.isFolder());
    write(at("d/f"), "abc");
    write(at("d/g"), "gg");
    ASSERT_EQ(files.status(at("d/f"), &st), 0);
    EXPECT_TRUE(st.isFile());
    EXPECT_EQ(st.size, 3u);
    EXPECT_EQ(read(at("d/f")), "abc");
    EXPECT_EQ(namesIn(at("d")), (std::vector<std::string>{"f", "g"}));

    // A rename that must not replace refuses and changes nothing; one that may, replaces.
    EXPECT_EQ(files.rename(at("d/f"), at("d/g"), false), Win32::AlreadyExists);
    EXPECT_EQ(read(at("d/g")), "gg");
    EXPECT_EQ(files.rename(at("d/f"), at("d/g"), true), 0);
    EXPECT_EQ(read(at("d/g")), "abc");
    EXPECT_EQ(files.rename(at("d/g"), at("d/h"), false), 0);
    EXPECT_EQ(namesIn(at("d")), (std::vector<std::string>{"h"}));
    EXPECT_EQ(files.removeFolder(at("d")), Win32::DirNotEmpty);

    // A date of 2001 reads back as it was set, to the second at least.
    FileStatus dated;
    dated.modified = {1000000000, 0};
    dated.accessed = {1000000000, 0};
    EXPECT_EQ(files.setTimes(at("d/h"), dated), 0);
    ASSERT_EQ(files.status(at("d/h"), &st), 0);
    EXPECT_EQ(st.modified.tv_sec, 1000000000);
    EXPECT_EQ(files.setTimes(at("d"), dated), 0);
    ASSERT_EQ(files.status(at("d"), &st), 0);
    EXPECT_EQ(st.modified.tv_sec, 1000000000);

    EXPECT_EQ(files.makePath(at("p/q/r")), 0);
    EXPECT_EQ(files.makePath(at("p/q/r")), 0);
    ASSERT_EQ(files.status(at("p/q/r"), &st), 0);
    EXPECT_TRUE(st.isFolder());
    EXPECT_EQ(files.removeFolder(at("p/q/r")), 0);

    EXPECT_EQ(files.removeTree(at("d")), 0);
    EXPECT_EQ(files.removeTree(at("p")), 0);
    EXPECT_FALSE(files.exists(at("d")));
    EXPECT_TRUE(namesIn(root).empty());
}
