#include <gtest/gtest.h>

#include "local/TempTree.h"
#include "platform/ShellServices.h"
#include "support/ScopedEnvironment.h"

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
