#pragma once
// Mounts for tests run by an ordinary user. The cases of a full disk, a read-only volume and
// a second volume mount a small tmpfs of their own. Root mounts one directly; anyone else
// gets the right to mount in a user namespace of the test program's own, with a mount
// namespace that keeps those mounts from everyone else. Only that right is kept: the user
// stays who they were and permission bits still bind them, so the read-only cases still
// test what an ordinary user meets.
//
// A namespace can only be entered while the process has a single thread, so a test program
// that needs mounts enters it before main() by holding a PrivateMounts::Enter at namespace
// scope; its tests then ask available() and skip with reason() when it says no.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace PrivateMounts {

inline std::string& failure()
{
    static std::string text = "the test program did not prepare private mounts";
    return text;
}

inline bool writeProcFile(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return ok;
}

inline bool prepare()
{
    if (::geteuid() == 0) {
        failure().clear();
        return true;
    }
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        failure() = std::string("no user namespace for the mounts (see user.max_user_namespaces): ") + std::strerror(errno);
        return false;
    }
    // The same user and group inside as outside; supplementary groups cannot be mapped, so
    // they may not be dropped either.
    if (!writeProcFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1\n")
        || !writeProcFile("/proc/self/setgroups", "deny") ||
        !writeProcFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1\n")) {
        failure() = std::string("cannot map the user into its namespace: ") + std::strerror(errno);
        return false;
    }
    // A new namespace gives every capability in it: all but the one to mount are dropped,
    // or the user would write through permission bits like root.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    data[CAP_TO_INDEX(CAP_SYS_ADMIN)].effective = CAP_TO_MASK(CAP_SYS_ADMIN);
    data[CAP_TO_INDEX(CAP_SYS_ADMIN)].permitted = CAP_TO_MASK(CAP_SYS_ADMIN);
    if (::syscall(SYS_capset, &header, data) != 0) {
        failure() = std::string("cannot drop the namespace's capabilities: ") + std::strerror(errno);
        return false;
    }
    failure().clear();
    return true;
}

/// True when this process may mount a tmpfs: it is root, or it entered its namespace.
inline bool available() { return failure().empty(); }
/// Why not, for a skip message.
inline const std::string& reason() { return failure(); }

/// Held at namespace scope by a test program whose tests mount.
struct Enter {
    Enter() { prepare(); }
};

} // namespace PrivateMounts
