// tamsel-bench: throughput of the archive coder and the speed of a folder lookup in the
// cache index, on inputs it makes itself (or on the files given).
//
//   tamsel-bench archive [FILE...]   encode and decode 10 MB of mixed text, 10 MB of random
//                                    bytes and each FILE; MB/s (1 MB = 10^6 bytes)
//   tamsel-bench index [FOLDERS]     look up the last folder of an index of FOLDERS folders
//                                    (100000 by default)
//   tamsel-bench list FOLDER         list FOLDER into the file list (tamsel-bench-gui)
//   tamsel-bench cached STOREDIR KEY FOLDERPATH
//                                    list a cached folder into the file list (tamsel-bench-gui)
//   tamsel-bench expand [SHARES]     expand a cached computer of SHARES top folders in the
//                                    main window's tree (tamsel-bench-gui)
//   tamsel-bench netexpand ADDRESS   expand ADDRESS live as an expanded-network computer
//                                    through the expansion window (tamsel-bench-gui)
//   tamsel-bench makecache STOREDIR [FOLDERS] [ENTRIES] [SHARES]
//                                    write the cache of computer PC into STOREDIR: an index of
//                                    FOLDERS folders (100000), \\PC\ with SHARES top folders
//                                    (2000) and, last in the index, \\PC\SHARE0\BIG\ with
//                                    ENTRIES entries (50000)
//   tamsel-bench makefolder FOLDER [ENTRIES]
//                                    make a local folder with the same ENTRIES entries
//   tamsel-bench switch FOLDER OTHER switch folders while FOLDER is listed (tamsel-bench-gui)
//   tamsel-bench randomcache FOLDER [ENTRIES] [COMPUTERS]
//                                    write the search's random cache (ENTRIES 20000 of
//                                    COMPUTERS 5 computers) into FOLDER/Cache, a program
//                                    folder for TAMSEL_HOME: the search window's demo
//   tamsel-bench search [ENTRIES] [COMPUTERS]
//                                    pallisk over a cache of ENTRIES entries (1000000) of
//                                    COMPUTERS computers (20) against grep -F -i -c over a
//                                    dump of the same paths
#include "store/ListingPair.h"
#include "store/TItemData.h"
#include "store/TLZHuff.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "tests/support/PlainLzss.h"
#include "tests/support/RandomCache.h"
#include "tools/SearchBench.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <random>
#include <string>
#include <vector>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

// The machine is shared: time is this thread's processor time, not the wall clock.
struct Clock {
    using time_point = double;
    static double now()
    {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    }
};

double seconds(double a, double b)
{
    return b - a;
}

// Text as a cache holds it: a mixture of English-like and CP950 words (Zipf-distributed
// over a vocabulary of 600), Windows paths, numbers, punctuation and line breaks.
Bytes mixedText(size_t n)
{
    std::mt19937 rng(20261208);
    std::vector<std::string> vocabulary;
    for (int k = 0; k < 400; k++) {
        std::string w;
        const int len = 2 + int(rng() % 8);
        for (int c = 0; c < len; c++)
            w += char('a' + rng() % 26);
        if (k % 17 == 0)
            w[0] = char(w[0] - 'a' + 'A');
        vocabulary.push_back(w);
    }
    for (int k = 0; k < 200; k++) {
        std::string w;
        const int chars = 1 + int(rng() % 4);
        for (int c = 0; c < chars; c++) {
            w += char(0xA4 + rng() % 0x23);                          // common hanzi leads
            const unsigned trail = rng() % 157;                      // 40-7E, A1-FE
            w += char(trail < 63 ? 0x40 + trail : 0xA1 + (trail - 63));
        }
        vocabulary.push_back(w);
    }
    std::shuffle(vocabulary.begin(), vocabulary.end(), rng);
    std::vector<double> weights;
    for (size_t k = 0; k < vocabulary.size(); k++)
        weights.push_back(1.0 / double(k + 1));
    std::discrete_distribution<size_t> zipf(weights.begin(), weights.end());

    static const char* const separators[] = {" ", " ", " ", " ", ", ", ". ", "\r\n", "\\", "=", ";"};
    Bytes b;
    b.reserve(n + 64);
    while (b.size() < n) {
        const unsigned pick = rng() % 40;
        std::string piece;
        if (pick == 0)
            piece = std::to_string(rng() % 100000);
        else if (pick == 1)
            piece = "\\\\" + vocabulary[zipf(rng)] + "\\" + vocabulary[zipf(rng)] + "\\";
        else
            piece = vocabulary[zipf(rng)];
        piece += separators[rng() % 10];
        b.insert(b.end(), piece.begin(), piece.end());
    }
    b.resize(n);
    return b;
}

Bytes randomBytes(size_t n)
{
    std::mt19937_64 rng(42);
    Bytes b(n);
    for (size_t i = 0; i < n; i += 8) {
        const uint64_t v = rng();
        std::memcpy(&b[i], &v, std::min<size_t>(8, n - i));
    }
    return b;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Five rounds of our coder and of the plain byte-by-byte coder, alternating, so that both
// see the same load; the medians and their ratio. The plain coder's bytes check ours.
int benchArchive(const std::string& label, const Bytes& data)
{
    const double mb = double(data.size()) / 1e6;
    std::vector<double> encodeTimes, decodeTimes, plainTimes;
    Bytes archive, out, plain;
    for (int round = 0; round < 5; round++) {
        TLZHuff enc;
        archive.clear();
        auto t0 = Clock::now();
        enc.EncodeBlock(data, archive);
        auto t1 = Clock::now();
        TLZHuff dec;
        size_t pos = 0;
        dec.DecodeBlock(archive, pos, out);
        auto t2 = Clock::now();
        encodeTimes.push_back(seconds(t0, t1));
        decodeTimes.push_back(seconds(t1, t2));
        if (out != data) {
            std::fprintf(stderr, "%s: the round trip changed the data\n", label.c_str());
            return 1;
        }
        PlainLzss reference;
        plain.clear();
        const auto t3 = Clock::now();
        reference.encodeBlock(data, plain);
        plainTimes.push_back(seconds(t3, Clock::now()));
        if (plain != archive) {
            std::fprintf(stderr, "%s: the coded bytes differ from the plain coder's\n", label.c_str());
            return 1;
        }
    }
    const double encode = median(encodeTimes), plainEncode = median(plainTimes);
    std::printf("%-20s %6.2f MB  coded %5.1f%%  encode %6.1f MB/s (plain coder %5.1f MB/s, %.2f times)  decode %7.1f MB/s\n",
                label.c_str(), mb, 100.0 * double(archive.size()) / double(std::max<size_t>(1, data.size())),
                mb / encode, mb / plainEncode, plainEncode / encode, mb / median(decodeTimes));
    return 0;
}

int benchIndex(int folders)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tamsel-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string store = WindowsPath(dir.string()) + "\\";
    std::string last;
    auto t0 = Clock::now();
    // One listing of two entries per folder, written as the cache updater writes them.
    for (int k = 0; k < folders; k++) {
        const std::string folder = "\\\\FILESRV\\PUBLIC\\\xE8\xB3\x87\xE6\x96\x99" + std::to_string(k) + "\\";
        std::vector<TItemData> items(2);
        SetItemPath(items[0], folder + "readme.txt");
        SetItemPath(items[1], folder + "data.bin");
        items[1].Size = 1234;
        WriteFolderListing(items, store, "FILESRV", k == 0);
        last = folder;
    }
    auto t1 = Clock::now();
    std::printf("wrote an index of %d folders in %.2f s (%lld bytes)\n", folders, seconds(t0, t1),
                (long long)fs::file_size(dir / "FILESRV.IDX"));
    double best = 1e9, bestWall = 1e9;
    for (int round = 0; round < 5; round++) {
        std::vector<TItemData> list;
        const auto wall = std::chrono::steady_clock::now();
        auto a = Clock::now();
        ReadFolderListing(list, store, "FILESRV", last);
        auto b = Clock::now();
        best = std::min(best, seconds(a, b));
        bestWall = std::min(bestWall, std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count());
        if (list.size() != 2) {
            std::fprintf(stderr, "lookup found %zu entries\n", list.size());
            return 1;
        }
    }
    std::printf("lookup of the last folder: %.2f ms (wall clock %.2f ms)\n", best * 1000.0, bestWall * 1000.0);
    fs::remove_all(dir);
    return 0;
}

// The entries of the big folder, the same for the cache and for a local folder: a few
// folders, then files of the usual kinds with CP950 and ASCII names, sizes up to 5 MB and
// dates over three years.
struct BenchEntry {
    std::string name;
    bool folder = false;
    uint32_t size = 0;
    double modified = 0;  // days since 1899-12-30
};

std::vector<BenchEntry> benchEntries(int entries)
{
    static const char* kExtensions[] = {".txt", ".doc", ".jpg", ".mp3", ".zip", ".pdf", ".xls", ".bmp"};
    std::vector<BenchEntry> list;
    list.reserve(size_t(entries));
    uint32_t random = 1;
    for (int k = 0; k < entries; k++) {
        BenchEntry entry;
        entry.folder = k % 50 == 0;
        entry.name = (k % 3 ? "report-" : "\xE6\x96\x87\xE4\xBB\xB6") + std::to_string(k);
        random = random * 1103515245u + 12345u;
        if (!entry.folder) {
            entry.name += kExtensions[k % std::size(kExtensions)];
            entry.size = random % 5000000u;
        }
        entry.modified = 44000.0 + double(random % (3 * 365 * 24)) / 24.0;
        list.push_back(entry);
    }
    return list;
}

int makeCache(const std::string& nativeStore, int folders, int entries, int shares)
{
    namespace fs = std::filesystem;
    fs::create_directories(nativeStore);
    const std::string store = WindowsPath(fs::absolute(nativeStore).string()) + "\\";
    const std::string key = "PC";
    std::vector<TItemData> top(size_t(std::max(shares, 1)));
    for (int k = 0; k < shares; k++) {
        SetItemPath(top[size_t(k)], "\\\\PC\\SHARE" + std::to_string(k));
        top[size_t(k)].Attributes = 0x10;
        top[size_t(k)].Modified = 45000 + k;
    }
    WriteFolderListing(top, store, key, true);
    // The folders between: two entries each, as a deep tree of small folders gives them.
    for (int k = 1; k < folders - 1; k++) {
        const std::string folder = "\\\\PC\\SHARE" + std::to_string(k % std::max(shares, 1)) + "\\dir" + std::to_string(k) + "\\";
        std::vector<TItemData> items(2);
        SetItemPath(items[0], folder + "readme.txt");
        SetItemPath(items[1], folder + "data.bin");
        items[1].Size = 1234;
        WriteFolderListing(items, store, key, false);
    }
    std::vector<TItemData> big;
    big.reserve(size_t(entries));
    for (const BenchEntry& entry : benchEntries(entries)) {
        TItemData item;
        SetItemPath(item, "\\\\PC\\SHARE0\\BIG\\" + entry.name);
        item.Attributes = entry.folder ? 0x10 : 0x20;
        item.Size = entry.size;
        item.Modified = entry.modified;
        big.push_back(item);
    }
    WriteFolderListing(big, store, key, false);
    std::printf("wrote %s%s.IDX with %d folders; \\\\PC\\ has %d folders, \\\\PC\\SHARE0\\BIG\\ %d entries\n",
                store.c_str(), key.c_str(), std::max(folders, 2), shares, entries);
    return 0;
}

int makeFolder(const std::string& folder, int entries)
{
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    // Sparse files: the sizes without the disk space.
    for (const BenchEntry& entry : benchEntries(entries)) {
        const fs::path path = fs::path(folder) / entry.name;
        std::error_code error;
        if (entry.folder) {
            fs::create_directory(path, error);
        } else if (std::ofstream(path)) {
            fs::resize_file(path, entry.size, error);
        } else {
            error = std::make_error_code(std::errc::io_error);
        }
        const double seconds = (entry.modified - 25569.0) * 86400.0;
        const timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
        if (error || utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
            std::fprintf(stderr, "cannot make %s\n", path.c_str());
            return 1;
        }
    }
    std::printf("made %s with %d entries\n", folder.c_str(), entries);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list" || command == "switch" || command == "cached" || command == "expand"
        || command == "ftpget" || command == "ftplist" || command == "netexpand") {
        // The file list needs the Qt side, which this program does not link: the program
        // beside it does that work.
        const std::filesystem::path gui = std::filesystem::canonical("/proc/self/exe").parent_path() / "tamsel-bench-gui";
        execv(gui.c_str(), argv);
        std::fprintf(stderr, "cannot start %s: %s\n", gui.c_str(), std::strerror(errno));
        return 1;
    }
    try {
        if (command == "archive") {
            int rc = benchArchive("mixed text", mixedText(10'000'000));
            rc |= benchArchive("random bytes", randomBytes(10'000'000));
            for (int i = 2; i < argc; i++) {
                std::ifstream in(argv[i], std::ios::binary);
                if (!in) {
                    std::fprintf(stderr, "cannot open %s\n", argv[i]);
                    return 1;
                }
                rc |= benchArchive(argv[i], Bytes(std::istreambuf_iterator<char>(in), {}));
            }
            return rc;
        }
        if (command == "index")
            return benchIndex(argc > 2 ? std::atoi(argv[2]) : 100000);
        if (command == "makecache" && argc >= 3)
            return makeCache(argv[2], argc > 3 ? std::atoi(argv[3]) : 100000, argc > 4 ? std::atoi(argv[4]) : 50000,
                             argc > 5 ? std::atoi(argv[5]) : 2000);
        if (command == "randomcache" && argc >= 3) {
            std::filesystem::create_directories(std::string(argv[2]) + "/Cache");
            randomcache::makeRandomCache(WindowsPath(std::filesystem::absolute(argv[2]).string()) + "\\Cache\\",
                                         argc > 4 ? std::atoi(argv[4]) : 5, argc > 3 ? std::atoi(argv[3]) : 20000, 1);
            return 0;
        }
        if (command == "search")
            return benchSearch(PALLISK_PATH, argc > 2 ? std::atoi(argv[2]) : 1000000, argc > 3 ? std::atoi(argv[3]) : 20);
        if (command == "makefolder" && argc >= 3)
            return makeFolder(argv[2], argc > 3 ? std::atoi(argv[3]) : 50000);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: tamsel-bench archive [FILE...] | tamsel-bench index [FOLDERS]\n"
                         "       tamsel-bench list FOLDER | tamsel-bench switch FOLDER OTHER [DELAY_MS]\n"
                         "       tamsel-bench cached STOREDIR KEY FOLDERPATH | tamsel-bench expand [SHARES]\n"
                         "       tamsel-bench netexpand ADDRESS [HOLD_MS]\n"
                         "       tamsel-bench makecache STOREDIR [FOLDERS] [ENTRIES] [SHARES]\n"
                         "       tamsel-bench makefolder FOLDER [ENTRIES]\n"
                         "       tamsel-bench randomcache FOLDER [ENTRIES] [COMPUTERS]\n"
                         "       tamsel-bench search [ENTRIES] [COMPUTERS]\n");
    return 2;
}
