#pragma once
// The conventions of tamsel-net: UTF-8 JSON lines on standard output, one object per result;
// an error is one line {"error":CODE,"message":TEXT} on standard error with exit status 1,
// 2 for a usage error. CODE is the program's error number (a Win32 code or a string number).
#include <map>
#include <set>
#include <string>
#include <vector>

namespace netcli {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitUnreachable = 3;

/// "用法: " and the command's synopsis (translated where it has words), in the interface
/// language.
std::string UsageText(const std::string& synopsis);

/// Raised by a command to end with an error line; `usage` makes the exit status 2.
struct CommandError {
    int code;
    std::string message;
    bool usage = false;
};

/// The words of one command: its positional arguments and its --options.
class NetArgs {
public:
    /// `valueOptions` take the next word as their value; every other --word is a flag.
    /// Raises CommandError (usage) on an option the command does not know.
    NetArgs(const std::vector<std::string>& words, const std::set<std::string>& valueOptions,
            const std::set<std::string>& flags);

    const std::vector<std::string>& positional() const { return m_positional; }
    bool has(const std::string& option) const;
    std::string value(const std::string& option, const std::string& fallback = {}) const;
    /// Every value given for a value option that may be repeated, in order.
    std::vector<std::string> values(const std::string& option) const;
    /// The option's value as a whole number in [min, max], or `fallback` when absent.
    long long number(const std::string& option, long long fallback, long long min, long long max) const;
    /// Raises a usage error (UsageText of `synopsis`) unless there are between `min` and
    /// `max` positional words.
    void expect(size_t min, size_t max, const std::string& synopsis) const;

private:
    std::vector<std::string> m_positional;
    std::map<std::string, std::string> m_values;
    std::map<std::string, std::vector<std::string>> m_allValues;
    std::set<std::string> m_flags;
};

/// Prints the error line of `error` on standard error and gives the exit status.
int report(const CommandError& error);

/// Standard output in blocks of 1 MiB when it goes to a file or a pipe: stdio's block is
/// one page, which makes a search of half a million matches 20,000 system calls.
/// Call it before anything is printed.
void bufferResults();

/// The password from standard input: its first line, without the line end. Never echoed,
/// never logged.
std::string readPasswordFromStdin();

} // namespace netcli
