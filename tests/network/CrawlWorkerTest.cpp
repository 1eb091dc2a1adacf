#include "network/CrawlWorker.h"
#include "store/NodePaths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

TItemData item(const std::string& path, uint32_t size, uint32_t attributes, double modified)
{
    TItemData out;
    std::memcpy(out.Path, path.data(), path.size());
    out.Size = size;
    out.Attributes = attributes;
    out.Modified = modified;
    return out;
}

bool same(const TItemList& a, const TItemList& b)
{
    // An empty list may have no storage at all, and memcmp must not be given a null pointer.
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(TItemData)) == 0);
}

// Every event a reader passes on, written down as text (and the folders kept whole).
struct Heard : ShareWalkEvents {
    std::vector<std::string> events;
    std::vector<TItemList> folders;
    void root(double modified) override { events.push_back("root " + std::to_string(modified)); }
    void folder(const std::string& folder, TItemList&& items, bool reused, int64_t files) override
    {
        events.push_back("folder " + folder + (reused ? " reused " : " listed ") + std::to_string(files));
        folders.push_back(std::move(items));
    }
    void giveUp(const std::string& folder, int error, bool whole) override
    {
        events.push_back("give up " + folder + " " + std::to_string(error) + (whole ? " whole" : ""));
    }
    void overTime() override { events.push_back("over time"); }
    void tooLong(int count) override { events.push_back("too long " + std::to_string(count)); }
};

// What a ShareWalkWriter sends, read from the other end of a socket pair.
std::string written(const std::function<void(ShareWalkWriter&)>& walk)
{
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    ShareWalkWriter writer(fds[0]);
    walk(writer);
    EXPECT_TRUE(writer.end());
    ::close(fds[0]);
    std::string bytes;
    char buf[65536];
    for (ssize_t n; (n = ::read(fds[1], buf, sizeof buf)) > 0;)
        bytes.append(buf, size_t(n));
    ::close(fds[1]);
    return bytes;
}

const std::string kShare = "\\\\SRV\\公開\\";

// A folder of a share as the walk hands it over: CP950 paths, a trailing backslash on none.
TItemList sampleFolder()
{
    const std::string folder = "\\\\SRV\\\xA4\xBD\xB6\x7D\\";  // 公開 in CP950
    return {item(folder + "a.txt", 1, 0x20, 45000.5), item(folder + "ab.txt", 22, 0x20, 45001.25),
            item(folder + "\xB3\x5C", 0, 0x10, 45002),  // a name whose second byte is a backslash
            item(folder + std::string(200, 'x'), 7, 0x20, 0)};
}

TEST(CrawlWorkerFrames, WhatAWorkerWritesIsReadBackWholeInAnyPieces)
{
    const TItemList folder = sampleFolder();
    const std::string bytes = written([&](ShareWalkWriter& w) {
        w.root(45000.75);
        w.folder(kShare, TItemList(folder), false, 3);
        w.folder(kShare + "子\\", TItemList(), true, 0);
        w.giveUp(kShare + "鎖\\", 5, false);
        w.tooLong(2);
        w.overTime();
    });
    for (size_t piece : {bytes.size(), size_t(1), size_t(7), size_t(4096)}) {
        Heard heard;
        ShareWalkReader reader("\\\\srv\\公開\\", heard);  // the share as the parent spells it
        ShareWalkReader::State state = ShareWalkReader::State::More;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            ASSERT_EQ(state, ShareWalkReader::State::More) << "piece " << piece << " at " << at;
            state = reader.take(std::string_view(bytes).substr(at, piece));
        }
        EXPECT_EQ(state, ShareWalkReader::State::Ended) << piece;
        EXPECT_EQ(heard.events, (std::vector<std::string>{"root 45000.750000", "folder " + kShare + " listed 3",
                                                          "folder " + kShare + "子\\ reused 0", "give up " + kShare + "鎖\\ 5",
                                                          "too long 2", "over time"}));
        ASSERT_EQ(heard.folders.size(), 2u);
        EXPECT_TRUE(same(heard.folders[0], folder)) << "the entries, to the last byte of each";
        EXPECT_TRUE(heard.folders[1].empty());
    }
}

// The frame of one folder, built by hand: a 32-bit length, the kind, then the fields.
struct Frame {
    std::string bytes;
    Frame& u8(uint8_t v) { bytes += char(v); return *this; }
    Frame& u32(uint32_t v)
    {
        for (int k = 0; k < 4; k++)
            bytes += char((v >> (8 * k)) & 0xFF);
        return *this;
    }
    Frame& text(const std::string& s) { u32(uint32_t(s.size())); bytes += s; return *this; }
    Frame& raw(const std::string& s) { bytes += s; return *this; }
    Frame& f64() { bytes += std::string(8, '\0'); return *this; }
    std::string done() const
    {
        std::string out;
        const uint32_t n = uint32_t(bytes.size());
        for (int k = 0; k < 4; k++)
            out += char((n >> (8 * k)) & 0xFF);
        return out + bytes;
    }
};

Frame folderFrame(const std::string& folder, uint32_t count)
{
    Frame f;
    f.raw("F").text(folder).u8(0).u32(count);
    return f;
}

TEST(CrawlWorkerFrames, AFrameThatDoesNotAddUpEndsTheWorkersShareAndNothingOfItIsTaken)
{
    const std::string end = Frame().raw("E").done();
    const std::vector<std::pair<std::string, std::string>> broken{
        {"a length of nothing", std::string(4, '\0')},
        {"a length past the bound", Frame().u32(uint32_t(MaxWorkerFrame + 1)).bytes},
        {"a kind nobody sends", Frame().raw("Z").done()},
        {"a folder of another share", folderFrame("\\\\SRV\\其他\\", 0).done()},
        {"a folder above the share", folderFrame("\\\\SRV\\", 0).done()},
        {"a folder without its backslash", folderFrame(kShare + "x", 0).done()},
        {"a folder text past any stored path", folderFrame(kShare + std::string(2000, 'x') + "\\", 0).done()},
        {"more entries than the frame holds", folderFrame(kShare, 1000).done()},
        {"a count of four thousand million", folderFrame(kShare, 0xFFFFFFFFu).done()},
        {"an entry sharing more than the one before has",
         folderFrame(kShare, 1).u8(3).u8(1).raw("a").u32(0).u32(0).f64().done()},
        {"an entry longer than a stored path",
         folderFrame(kShare, 2).u8(0).u8(200).raw(std::string(200, 'a')).u32(0).u32(0).f64()
             .u8(200).u8(56).raw(std::string(56, 'b')).u32(0).u32(0).f64().done()},
        {"bytes left over after the entries", folderFrame(kShare, 0).raw("x").done()},
        {"a date cut short", Frame().raw("R").u32(0).done()},
        {"a give-up outside the share", Frame().raw("G").text("\\\\SRV\\其他\\").u32(5).u8(1).done()},
        {"bytes after the end of the share", end + Frame().raw("T").done()},
    };
    for (const auto& [what, bytes] : broken) {
        Heard heard;
        ShareWalkReader reader(kShare, heard);
        EXPECT_EQ(reader.take(bytes), ShareWalkReader::State::Broken) << what;
        EXPECT_TRUE(heard.folders.empty()) << what;
    }
    // The same shapes made right are taken.
    Heard heard;
    ShareWalkReader reader(kShare, heard);
    EXPECT_EQ(reader.take(folderFrame(kShare + "x\\", 1).u8(0).u8(1).raw("a").u32(0).u32(0).f64().done()),
              ShareWalkReader::State::More);
    EXPECT_EQ(reader.take(end), ShareWalkReader::State::Ended);
    EXPECT_EQ(heard.folders.size(), 1u);
}

TEST(CrawlWorkerJobs, AJobCarriesTheCredentialsAndOnlyItsSharesPreviousFolders)
{
    PreviousListing previous;
    previous.present = true;
    const auto add = [&](const std::string& folder, const std::string& name, uint32_t attributes, double modified) {
        ListingEntry entry;
        entry.Name = name;
        entry.Attributes = attributes;
        entry.Modified = modified;
        entry.Size = uint32_t(name.size());
        previous.add(folder, entry);
    };
    const std::string share = "\\\\SRV\\\xA4\xBD\xB6\x7D\\";  // 公開
    add("\\\\SRV\\", "\xA4\xBD\xB6\x7D", 0x10, 1);
    add("\\\\SRV\\", "other", 0x10, 2);
    add(share, "sub", 0x10, 3);
    add(share, "f.txt", 0x20, 4);
    add(share + "sub\\", "g.txt", 0x20, 5);
    previous.addFolder(share + "empty\\");  // every entry was too long to keep
    add("\\\\SRV\\other\\", "h.txt", 0x20, 6);

    ShareJob job;
    job.place = {"SRV", "127.0.0.1"};
    job.sharePath = "\\\\SRV\\公開\\";
    job.timeoutMs = 1500;
    job.shareCredential = true;
    job.shareUser = "DOM\\user";
    job.sharePassword = "p\tw\n";
    const std::string frame = EncodeShareJob(job, previous);
    ShareJob back;
    PreviousListing got;
    ASSERT_TRUE(DecodeShareJob(std::string_view(frame).substr(4), back, got));
    EXPECT_EQ(back.place.name, "SRV");
    EXPECT_EQ(back.place.address, "127.0.0.1");
    EXPECT_EQ(back.sharePath, job.sharePath);
    EXPECT_EQ(back.timeoutMs, 1500);
    EXPECT_FALSE(back.full);
    EXPECT_TRUE(back.shareCredential);
    EXPECT_EQ(back.shareUser, "DOM\\user");
    EXPECT_EQ(back.sharePassword, "p\tw\n");
    EXPECT_FALSE(back.serverCredential);
    EXPECT_TRUE(got.present);
    const std::string folded = FoldTextCase(job.sharePath);
    EXPECT_EQ(got.order, (std::vector<std::string>{folded, folded + "sub\\", folded + "empty\\"}));
    for (const std::string& f : got.order)
        EXPECT_TRUE(same(got.folders.at(f), previous.folders.at(f))) << f;
    EXPECT_EQ(got.folderTimes.at(folded + "sub\\"), 3);
    EXPECT_EQ(got.folderTimes.at(folded), 1) << "the share's own date, from its computer's folder";
    EXPECT_EQ(got.folderTimes.count(FoldTextCase("\\\\SRV\\other\\")), 0u);

    // A full crawl reuses nothing, so nothing is sent; a job cut short is refused.
    job.full = true;
    const std::string full = EncodeShareJob(job, previous);
    ASSERT_TRUE(DecodeShareJob(std::string_view(full).substr(4), back, got));
    EXPECT_TRUE(back.full);
    EXPECT_TRUE(got.folders.empty());
    EXPECT_TRUE(got.folderTimes.empty());
    EXPECT_LT(full.size(), frame.size());
    for (size_t cut : {size_t(5), frame.size() / 2, frame.size() - 1})
        EXPECT_FALSE(DecodeShareJob(std::string_view(frame).substr(4, cut - 4), back, got)) << cut;
}

} // namespace
