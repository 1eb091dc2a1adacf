#include "StoreFolder.h"
#include "VectorFiles.h"
#include "MiniJson.h"
#include "store/CacheListing.h"
#include "store/TNodeData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
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

TEST(CacheTool, ListDatAttachmentAndThingsThatAreNotFiles)
{
    StoreFolder work;
    TItemList list(2);
    SetItemPath(list[0], "\\\\SRV\\SHARE\\說明.txt");
    list[0].Size = 4294967295u;
    list[0].Attributes = 0x21;
    list[0].Modified = 45000.25;
    SetItemPath(list[1], "\\\\SRV\\SHARE\\子資料夾");
    list[1].Attributes = 0x10;
    WriteListDat(work.win() + "LIST.DAT", list);
    ToolRun r = tool({"listdat", work.path("LIST.DAT")}, work);
    EXPECT_EQ(r.code, 0) << r.err;
    std::vector<json::Value> lines;
    for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(json::parse(r.out.substr(at, end - at)));
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0]["Path"].text, "\\\\SRV\\SHARE\\說明.txt");
    EXPECT_EQ(lines[0]["Size"].integer(), 4294967295LL);
    EXPECT_EQ(lines[0]["Attributes"].integer(), 0x21);
    EXPECT_EQ(lines[0]["Modified"].number, 45000.25);
    EXPECT_EQ(lines[1]["Attributes"].integer(), 0x10);

    FtpSiteBlock block;
    block.Host = "ftp.example";
    block.User = "訪客";
    block.Password = "secret";
    block.ProxyHost = "proxy";
    block.Port = 2121;
    block.ProxyPort = 8021;
    unsigned char bytes[FtpSiteBlockSize];
    EncodeFtpSiteBlock(block, bytes);
    TNodeData site;
    site.StoreDir = work.win();
    site.Key = "FTP1";
    WriteNodeAttachment(site, bytes, sizeof bytes);
    r = tool({"attachment", work.path("FTP1.ATT")}, work);
    EXPECT_EQ(r.code, 0) << r.err;
    const json::Value got = json::parse(r.out.substr(0, r.out.find('\n')));
    EXPECT_EQ(got["Host"].text, "ftp.example");
    EXPECT_EQ(got["User"].text, "訪客");
    EXPECT_EQ(got["ProxyHost"].text, "proxy");
    EXPECT_EQ(got["Port"].integer(), 2121);
    EXPECT_EQ(got["ProxyPort"].integer(), 8021);
    work.writeFile("SHORT.ATT", std::string(391, 'x'));
    r = tool({"attachment", work.path("SHORT.ATT")}, work);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Read Error"), std::string::npos) << r.err;

    // A FIFO where a stored file should be is refused at once, not waited on.
    std::filesystem::create_directories(work.path("f"));
    ASSERT_EQ(mkfifo(work.path("f/ALL.NOD").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(work.path("f/LIST.DAT").c_str(), 0600), 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"nodes", work.path("f")},
                                                 std::vector<std::string>{"listdat", work.path("f/LIST.DAT")}}) {
        r = tool(args, work);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_NE(r.err.find("不是一般檔案"), std::string::npos) << r.err;
    }
}
