// The cache search against grep: the same paths searched by pallisk in the cache and by
// `grep -F -i -c` in a text dump, whole processes, alternating, medians of the rounds.
#include "tools/SearchBench.h"

#include "platform/DriveMap.h"
#include "tests/support/RandomCache.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>
#include <fstream>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

constexpr int Rounds = 7;
constexpr int ShortRounds = 5;  // of the short Chinese queries, whose answers are large
// Letters no generated word holds, so only the planted names carry them.
constexpr const char* Rare = "Qzx";

struct Timing {
    double wall = 0;
    double cpu = 0;  // user + system of the child
    std::string out;
};

// Runs `args` with standard output into `outFile`, and times it. The file of the run
// before is removed first, untimed: a truncation at the open would charge one program with
// freeing the other's output (pallisk's is tens of megabytes, grep's a line).
Timing runTimed(const std::vector<std::string>& args, const std::string& outFile)
{
    ::unlink(outFile.c_str());
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Timing t;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        throw std::runtime_error("cannot start " + args[0]);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream in(outFile);
    t.out.assign(std::istreambuf_iterator<char>(in), {});
    return t;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int benchSearch(const std::string& pallisk, int entries, int computers)
{
    namespace fs = std::filesystem;
    const fs::path home = fs::temp_directory_path() / ("tamsel-search-bench-" + std::to_string(::getpid()));
    fs::create_directories(home / "Cache");
    int rc = 0;
    try {
        const auto t0 = std::chrono::steady_clock::now();
        const auto truth = randomcache::makeRandomCache(WindowsPath((home / "Cache").string()) + "\\", computers,
                                                        entries, 20261209, 50, Rare, 50000);
        {
            std::ofstream dump(home / "paths.txt", std::ios::binary);
            std::ofstream names(home / "names.txt", std::ios::binary);
            for (const auto& e : truth) {
                dump << e.Folder << e.Name << '\n';
                names << e.Name << '\n';
            }
        }
        std::printf("made %zu entries of %d computers in %.1f s; dump %lld bytes\n", truth.size(), computers,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
                    (long long)fs::file_size(home / "paths.txt"));
        setenv("TAMSEL_HOME", home.c_str(), 1);
        const std::string out = (home / "out.txt").string();
        std::vector<double> ourWall, ourCpu, grepWall, grepCpu;
        size_t ourCount = 0, grepCount = 0;
        for (int round = 0; round < Rounds; round++) {
            const Timing a = runTimed({pallisk, "--query", "qzX"}, out);
            const Timing b = runTimed({"/usr/bin/grep", "-F", "-i", "-c", "qzX", (home / "paths.txt").string()}, out);
            ourWall.push_back(a.wall);
            ourCpu.push_back(a.cpu);
            grepWall.push_back(b.wall);
            grepCpu.push_back(b.cpu);
            ourCount = size_t(std::count(a.out.begin(), a.out.end(), '\n'));
            grepCount = size_t(std::stoul(b.out.empty() ? "0" : b.out));
        }
        std::printf("pallisk: %zu matches, median %.3f s wall, %.3f s cpu\n", ourCount, median(ourWall), median(ourCpu));
        std::printf("grep -F -i -c: %zu matches, median %.3f s wall, %.3f s cpu\n", grepCount, median(grepWall),
                    median(grepCpu));
        std::printf("ratio pallisk/grep: %.2f wall, %.2f cpu (%d rounds)\n", median(ourWall) / median(grepWall),
                    median(ourCpu) / median(grepCpu), Rounds);
        if (ourCount != grepCount) {
            std::fprintf(stderr, "the counts differ\n");
            rc = 1;
        }
        // Short Chinese queries match a name in ten, so the answer itself is large; a query
        // matches names, not their folders, and grep counts over a dump of the names alone.
        for (const char* text : {"北", "預算"}) {
            std::vector<double> wall, cpu, grepped, greppedCpu;
            for (int round = 0; round < ShortRounds; round++) {
                const Timing a = runTimed({pallisk, "--query", text}, out);
                const Timing b = runTimed({"/usr/bin/grep", "-F", "-c", text, (home / "names.txt").string()}, out);
                wall.push_back(a.wall);
                cpu.push_back(a.cpu);
                grepped.push_back(b.wall);
                greppedCpu.push_back(b.cpu);
                ourCount = size_t(std::count(a.out.begin(), a.out.end(), '\n'));
                grepCount = size_t(std::stoul(b.out.empty() ? "0" : b.out));
            }
            std::printf("query %s: pallisk %zu matches, median %.3f s wall, %.3f s cpu; grep -F -c %zu, %.3f s wall, "
                        "%.3f s cpu (%d rounds)\n",
                        text, ourCount, median(wall), median(cpu), grepCount, median(grepped), median(greppedCpu),
                        ShortRounds);
            if (ourCount != grepCount) {
                std::fprintf(stderr, "the counts differ\n");
                rc = 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        rc = 1;
    }
    // BENCH_KEEP leaves the cache behind for a profiler to search again.
    if (std::getenv("BENCH_KEEP"))
        std::printf("kept %s\n", home.c_str());
    else
        fs::remove_all(home);
    return rc;
}
