// tamsel-bench: throughput of the archive coder and the speed of a folder lookup in the
// cache index, on inputs it makes itself (or on the files given).
//
//   tamsel-bench archive [FILE...]   encode and decode 10 MB of mixed text, 10 MB of random
//                                    bytes and each FILE; MB/s (1 MB = 10^6 bytes)
//   tamsel-bench index [FOLDERS]     look up the last folder of an index of FOLDERS folders
//                                    (100000 by default)
//   tamsel-bench list FOLDER         list FOLDER into the file list (tamsel-bench-gui)
//   tamsel-bench switch FOLDER OTHER switch folders while FOLDER is listed (tamsel-bench-gui)
#include "store/CacheListing.h"
#include "store/TItemData.h"
#include "store/TLZHuff.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "tests/support/PlainLzss.h"

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

int benchArchive(const std::string& label, const Bytes& data)
{
    const double mb = double(data.size()) / 1e6;
    double encodeBest = 1e9, decodeBest = 1e9;
    Bytes archive, out;
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
        encodeBest = std::min(encodeBest, seconds(t0, t1));
        decodeBest = std::min(decodeBest, seconds(t1, t2));
        if (out != data) {
            std::fprintf(stderr, "%s: the round trip changed the data\n", label.c_str());
            return 1;
        }
    }
    // The plain byte-by-byte coder, for comparison and as a check of every coded byte.
    double plainBest = 1e9;
    Bytes plain;
    for (int round = 0; round < 2; round++) {
        PlainLzss reference;
        plain.clear();
        const auto t0 = Clock::now();
        reference.encodeBlock(data, plain);
        plainBest = std::min(plainBest, seconds(t0, Clock::now()));
    }
    if (plain != archive) {
        std::fprintf(stderr, "%s: the coded bytes differ from the plain coder's\n", label.c_str());
        return 1;
    }
    std::printf("%-20s %6.2f MB  coded %5.1f%%  encode %6.1f MB/s (plain coder %5.1f MB/s)  decode %7.1f MB/s\n",
                label.c_str(), mb, 100.0 * double(archive.size()) / double(std::max<size_t>(1, data.size())),
                mb / encodeBest, mb / plainBest, mb / decodeBest);
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

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list" || command == "switch") {
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
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: tamsel-bench archive [FILE...] | tamsel-bench index [FOLDERS]\n"
                         "       tamsel-bench list FOLDER | tamsel-bench switch FOLDER OTHER [DELAY_MS]\n");
    return 2;
}
