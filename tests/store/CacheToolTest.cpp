#include "StoreFolder.h"
#include "VectorFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace {

struct ToolRun {
    int code = -1;
    std::string out, err;
};

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

ToolRun tool(const std::vector<std::string>& args, const StoreFolder& scratch)
{
    std::string command = quote(TAMSEL_CACHE_TOOL);
    for (const auto& a : args)
        command += " " + quote(a);
    command += " 2>" + quote(scratch.path("stderr.txt"));
    ToolRun r;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = scratch.readFile("stderr.txt");
    return r;
}

} // namespace

TEST(CacheTool, ExportAndImportAVector)
{
    namespace fs = std::filesystem;
    StoreFolder work;
    const fs::path vector = vectors::root() / "archives/t2_net_text";
    fs::copy(vector / "input", work.path("base"), fs::copy_options::recursive);
    ToolRun r = tool({"export", work.path("t2.che"), work.path("base"), "Net"}, work);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(work.readFile("t2.che"), vectors::readText(vector / "expected.che"));

    r = tool({"import", (vector / "expected.che").string(), work.path("restored")}, work);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(work.readFile("restored/Net/餐廳/擺設.txt"), vectors::readText(vector / "input/Net/餐廳/擺設.txt"));

    r = tool({"import", work.path("base/Net/許可清單.txt"), work.path("restored")}, work);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("Not Support Type"), std::string::npos) << r.err;
}

TEST(CacheTool, NodesAndListingAsJson)
{
    StoreFolder work;
    std::filesystem::create_directories(work.path("n"));
    work.copyFrom(vectors::root() / "nodes/three_records/ALL.NOD", "n/ALL.NOD");
    ToolRun r = tool({"nodes", work.path("n")}, work);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    EXPECT_NE(r.out.find("\"Caption\": \"工作群組\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"RecordOffset\": 1408"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"State\": 1073741829"), std::string::npos) << r.out;  // as stored

    work.copyFrom(vectors::root() / "listing/SRV.LST", "SRV.LST");
    work.copyFrom(vectors::root() / "listing/SRV.IDX", "SRV.IDX");
    r = tool({"listing", work.path(), "SRV", "\\\\SRV\\SHARE\\DIR\\"}, work);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
    EXPECT_NE(r.out.find("\"Path\": \"\\\\\\\\SRV\\\\SHARE\\\\DIR\\\\功能說明.txt\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Size\": 4294967295"), std::string::npos);

    r = tool({"listing", work.path(), "SRV", "\\\\SRV\\NONE\\"}, work);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("快取檔中沒有 \\\\SRV\\NONE\\ 的資料"), std::string::npos) << r.err;
    EXPECT_NE(tool({"bogus"}, work).code, 0);
}
