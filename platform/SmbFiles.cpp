#include "platform/SmbFiles.h"

#include "platform/NativeNames.h"

#include "platform/DateTime.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/NativeFiles.h"
#include "platform/SmbContext.h"
#include "platform/Win32Error.h"

#include <libsmbclient.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace {

constexpr const char* kPrefix = "smb://";
constexpr size_t kPrefixLength = 6;

void SetError(int* error, int code)
{
    if (error)
        *error = code;
}

SMBCCTX* Context()
{
    int code = 0;
    SMBCCTX* ctx = SmbThreadContext(SmbKind::Files, &code);
    if (!ctx)
        errno = ENETDOWN;
    return ctx;
}

// The escaped address libsmbclient reads.
std::string Url(const std::string& native)
{
    return SmbUrl(UncFromSmbNative(native));
}

// Win32 attribute bits from a stat of libsmbclient (which has no DOS attributes).
uint32_t AttributesOf(const std::string& name, const struct stat& st)
{
    uint32_t attributes = S_ISDIR(st.st_mode) ? 0x10 : 0x20;
    if (!(st.st_mode & S_IWUSR))
        attributes |= 0x01;
    if (!name.empty() && name[0] == '.')
        attributes |= 0x02;
    return attributes;
}

class SmbFile : public PlatformFile {
public:
    SmbFile(SMBCCTX* ctx, SMBCFILE* file) : m_ctx(ctx), m_file(file) {}
    ~SmbFile() override { close(); }

    bool close() override
    {
        if (!m_file)
            return true;
        SMBCFILE* file = m_file;
        m_file = nullptr;
        // The server answers the close only when it holds the whole file: a copy whose
        // source is deleted next must hear that answer.
        if (SmbCall([&] { return smbc_getFunctionClose(m_ctx)(m_ctx, file); }) == 0)
            return true;
        const int err = errno;
        fail(err);
        errno = err;
        return false;
    }

    bool read(void* buffer, size_t count, size_t* got) override
    {
        size_t done = 0;
        while (done < count) {
            const ssize_t n = SmbCall([&] { return smbc_getFunctionRead(m_ctx)(m_ctx, m_file, static_cast<char*>(buffer) + done, count - done); });
            if (n < 0) {
                if (got)
                    *got = done;
                return fail(errno);
            }
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        if (got)
            *got = done;
        return true;
    }

    bool write(const void* buffer, size_t count) override
    {
        size_t done = 0;
        while (done < count) {
            const ssize_t n = SmbCall([&] { return smbc_getFunctionWrite(m_ctx)(m_ctx, m_file, static_cast<const char*>(buffer) + done,
                                                          count - done); });
            if (n <= 0)
                return fail(n < 0 ? (errno == EBADF ? EACCES : errno) : EIO);
            done += static_cast<size_t>(n);
        }
        return true;
    }

    bool seek(int64_t offset) override
    {
        return SmbCall([&] { return smbc_getFunctionLseek(m_ctx)(m_ctx, m_file, offset, SEEK_SET); }) >= 0 || fail(errno);
    }

    int64_t size() override
    {
        struct stat st {};
        if (SmbCall([&] { return smbc_getFunctionFstat(m_ctx)(m_ctx, m_file, &st); }) != 0) {
            fail(errno);
            return -1;
        }
        return st.st_size;
    }

    bool truncate(int64_t size) override
    {
        return SmbCall([&] { return smbc_getFunctionFtruncate(m_ctx)(m_ctx, m_file, size); }) == 0 || fail(errno);
    }

    bool flush() override { return true; } // every write has been answered by the server

    int64_t position() override { return SmbCall([&] { return smbc_getFunctionLseek(m_ctx)(m_ctx, m_file, 0, SEEK_CUR); }); }

private:
    bool fail(int err)
    {
        m_error = Win32ErrorFromSmb(err);
        return false;
    }

    SMBCCTX* m_ctx;
    SMBCFILE* m_file;
};

} // namespace

bool IsSmbNative(const std::string& path)
{
    return path.compare(0, kPrefixLength, kPrefix) == 0;
}

std::string SmbNativePath(const std::string& uncPath)
{
    std::string server;
    std::string share;
    std::string rest;
    SplitUncPath(uncPath, &server, &share, &rest);
    if (server.empty() || share.empty() || uncPath.find('\0') != std::string::npos)
        return {};
    std::string native = kPrefix + server + "/" + share;
    if (!rest.empty()) {
        for (char& c : rest)
            if (c == '\\')
                c = '/';
        native += "/" + rest;
    }
    while (native.size() > kPrefixLength && native.back() == '/')
        native.pop_back();
    return native;
}

std::string UncFromSmbNative(const std::string& native)
{
    std::string unc = "\\\\" + native.substr(IsSmbNative(native) ? kPrefixLength : 0);
    for (char& c : unc)
        if (c == '/')
            c = '\\';
    return unc;
}

int SmbError(int err, const std::string& native)
{
    return SmbErrorFor(err, UncFromSmbNative(native));
}

std::string AnyNativePath(const std::string& windowsPath)
{
    return IsUncPath(windowsPath) ? SmbNativePath(windowsPath) : NativePath(windowsPath);
}

int SmbStat(const std::string& native, struct stat* st)
{
    SMBCCTX* ctx = Context();
    return ctx ? SmbCall([&] { return smbc_getFunctionStat(ctx)(ctx, Url(native).c_str(), st); }) : -1;
}

int SmbMkdir(const std::string& native)
{
    SMBCCTX* ctx = Context();
    return ctx ? SmbCall([&] { return smbc_getFunctionMkdir(ctx)(ctx, Url(native).c_str(), 0755); }) : -1;
}

int SmbRmdir(const std::string& native)
{
    SMBCCTX* ctx = Context();
    return ctx ? SmbCall([&] { return smbc_getFunctionRmdir(ctx)(ctx, Url(native).c_str()); }) : -1;
}

int SmbUnlink(const std::string& native)
{
    SMBCCTX* ctx = Context();
    return ctx ? SmbCall([&] { return smbc_getFunctionUnlink(ctx)(ctx, Url(native).c_str()); }) : -1;
}

int SmbRename(const std::string& from, const std::string& to, bool replace)
{
    SMBCCTX* ctx = Context();
    if (!ctx)
        return -1;
    struct stat st {};
    // A name that differs only in case is the same entry on the server: let it through.
    if (!replace && SmbCall([&] { return smbc_getFunctionStat(ctx)(ctx, Url(to).c_str(), &st); }) == 0) {
        struct stat source {};
        if (SmbCall([&] { return smbc_getFunctionStat(ctx)(ctx, Url(from).c_str(), &source); }) != 0 || source.st_ino != st.st_ino) {
            errno = EEXIST;
            return -1;
        }
    }
    return SmbCall([&] { return smbc_getFunctionRename(ctx)(ctx, Url(from).c_str(), ctx, Url(to).c_str()); });
}

int SmbSetModified(const std::string& native, time_t modified)
{
    SMBCCTX* ctx = Context();
    if (!ctx)
        return -1;
    struct timeval times[2] = {{modified, 0}, {modified, 0}};
    return SmbCall([&] { return smbc_getFunctionUtimes(ctx)(ctx, Url(native).c_str(), times); });
}

bool SmbForEachEntry(const std::string& native, const std::function<bool(FindEntry&&)>& visit)
{
    SMBCCTX* ctx = Context();
    if (!ctx)
        return false;
    SMBCFILE* dir = SmbCall([&] { return smbc_getFunctionOpendir(ctx)(ctx, Url(native).c_str()); });
    if (!dir)
        return false;
    // readdirplus, not readdirplus2: the entries' own attributes, size and times are all a
    // listing needs, and readdirplus2 makes a stat for each entry, with the library's
    // credentials and configuration looked up again each time (40% of a listing's time).
    const auto readdirplus = smbc_getFunctionReaddirPlus(ctx);
    while (const libsmb_file_info* info = SmbCall([&] { return readdirplus(ctx, dir); })) {
        const char* name = info->name ? info->name : "";
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        if (!IsPlainName(name)) {
            std::fprintf(stderr, "tamsel: %s: the server gave an entry name that is not a plain name; left out\n",
                         UncFromSmbNative(native).c_str());
            continue;
        }
        FindEntry entry;
        entry.name = name;
        const bool isDir = (info->attrs & 0x10) != 0;
        entry.size = isDir ? 0 : info->size;
        entry.attributes = info->attrs & 0x37;
        if (!isDir && !(entry.attributes & 0x20) && info->attrs == 0)
            entry.attributes = 0x20 | (name[0] == '.' ? 0x02 : 0);
        entry.modified = DateTimeFromUnix(info->mtime_ts.tv_sec, info->mtime_ts.tv_nsec);
        if (!visit(std::move(entry)))
            break;
    }
    const int err = errno;
    SmbCall([&] { return smbc_getFunctionClosedir(ctx)(ctx, dir); });
    errno = err;
    return true;
}

std::unique_ptr<PlatformFile> SmbOpenFile(const std::string& native, FileMode mode, int* error)
{
    SMBCCTX* ctx = Context();
    if (!ctx) {
        SetError(error, Win32::NoNetwork);
        return nullptr;
    }
    int flags = 0;
    switch (mode) {
    case FileMode::Read: flags = O_RDONLY; break;
    case FileMode::ReadWrite: flags = O_RDWR; break;
    case FileMode::Create: flags = O_RDWR | O_CREAT | O_TRUNC; break;
    case FileMode::OpenOrCreate: flags = O_RDWR | O_CREAT; break;
    }
    SMBCFILE* file = SmbCall([&] { return smbc_getFunctionOpen(ctx)(ctx, Url(native).c_str(), flags, 0644); });
    if (!file) {
        const int err = errno;
        SetError(error, err == EISDIR ? Win32::AccessDenied : SmbError(err, native));
        return nullptr;
    }
    auto opened = std::make_unique<SmbFile>(ctx, file);
    struct stat st {};
    if (SmbCall([&] { return smbc_getFunctionFstat(ctx)(ctx, file, &st); }) == 0 && S_ISDIR(st.st_mode)) {
        SetError(error, Win32::AccessDenied);
        return nullptr;
    }
    SetError(error, Win32::NoError);
    return opened;
}

// ---- the FileAccess functions for UNC paths ---------------------------------------------

namespace smbpath {

namespace {

// The native form, or false with the code the system gives for a path without a share.
bool Native(const std::string& unc, std::string* native, int* error)
{
    *native = SmbNativePath(unc);
    if (native->empty()) {
        SetError(error, Win32::BadNetpath);
        return false;
    }
    return true;
}

bool Done(int result, const std::string& native, int* error)
{
    if (result != 0) {
        SetError(error, SmbError(errno, native));
        return false;
    }
    SetError(error, Win32::NoError);
    return true;
}

bool IsDir(const std::string& native)
{
    struct stat st {};
    return SmbStat(native, &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::unique_ptr<PlatformFile> openFile(const std::string& unc, FileMode mode, int* error)
{
    std::string native;
    return Native(unc, &native, error) ? SmbOpenFile(native, mode, error) : nullptr;
}

bool fileExists(const std::string& unc)
{
    std::string native;
    struct stat st {};
    return Native(unc, &native, nullptr) && SmbStat(native, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool directoryExists(const std::string& unc)
{
    std::string native;
    return Native(unc, &native, nullptr) && IsDir(native);
}

bool forceDirectories(const std::string& unc, int* error)
{
    std::string native;
    if (!Native(unc, &native, error))
        return false;
    // The share itself is the first folder that must be there.
    const size_t shareEnd = native.find('/', native.find('/', kPrefixLength) + 1);
    if (!IsDir(shareEnd == std::string::npos ? native : native.substr(0, shareEnd))) {
        struct stat st {};
        SmbStat(native.substr(0, shareEnd), &st);
        SetError(error, errno == ENOENT ? Win32::BadNetName : SmbError(errno, native));
        return false;
    }
    for (size_t slash = shareEnd; slash != std::string::npos;) {
        slash = native.find('/', slash + 1);
        const std::string part = native.substr(0, slash);
        if (IsDir(part))
            continue;
        if (SmbMkdir(part) != 0) {
            const int err = errno;
            SetError(error, err == EEXIST ? Win32::AlreadyExists : SmbError(err, part));
            return false;
        }
    }
    SetError(error, Win32::NoError);
    return true;
}

bool deleteFile(const std::string& unc, int* error)
{
    std::string native;
    if (!Native(unc, &native, error))
        return false;
    if (IsDir(native)) {
        SetError(error, Win32::AccessDenied);
        return false;
    }
    return Done(SmbUnlink(native), native, error);
}

bool removeDirectory(const std::string& unc, int* error)
{
    std::string native;
    return Native(unc, &native, error) && Done(SmbRmdir(native), native, error);
}

bool renameFile(const std::string& from, const std::string& to, int* error)
{
    std::string source;
    std::string target;
    if (!Native(from, &source, error) || !Native(to, &target, error))
        return false;
    if (SmbRename(source, target, false) != 0) {
        const int err = errno;
        SetError(error, err == EEXIST ? Win32::AlreadyExists : SmbError(err, source));
        return false;
    }
    SetError(error, Win32::NoError);
    return true;
}

bool getFileEntry(const std::string& unc, FindEntry& entry, int* error)
{
    std::string native;
    if (!Native(unc, &native, error))
        return false;
    struct stat st {};
    if (SmbStat(native, &st) != 0) {
        SetError(error, SmbError(errno, native));
        return false;
    }
    entry = FindEntry();
    entry.name = native.substr(native.rfind('/') + 1);
    entry.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    entry.attributes = AttributesOf(entry.name, st);
    entry.modified = DateTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    SetError(error, Win32::NoError);
    return true;
}

bool forEachEntry(const std::string& uncFolder, const std::function<bool(FindEntry&&)>& visit, int* error)
{
    std::string native;
    if (!Native(uncFolder, &native, error))
        return false;
    if (!SmbForEachEntry(native, visit)) {
        const int code = SmbError(errno, native);
        // A folder that is not there is a path not found, whatever its parent.
        SetError(error, code == Win32::FileNotFound ? Win32::PathNotFound : code);
        return false;
    }
    SetError(error, Win32::NoError);
    return true;
}

} // namespace smbpath

// ---- the FileSystem of shares -----------------------------------------------------------

std::string SmbShareOf(const std::string& native)
{
    if (!IsSmbNative(native))
        return {};
    const size_t share = native.find('/', kPrefixLength);
    return share == std::string::npos ? native : native.substr(0, native.find('/', share + 1));
}

namespace {

int Done(int result)
{
    return result == 0 ? Win32::NoError : Win32ErrorFromSmb(errno);
}

class ShareFiles : public FileSystem {
public:
    int status(const std::string& path, FileStatus* status, bool) override
    {
        struct stat st {};
        if (SmbStat(path, &st) != 0)
            return Win32ErrorFromSmb(errno);
        *status = StatusFromStat(st);
        return Win32::NoError;
    }

    int list(const std::string& folder, std::vector<std::string>* names) override
    {
        errno = 0;
        const bool listed = SmbForEachEntry(folder, [names](FindEntry&& entry) {
            names->push_back(std::move(entry.name));
            return true;
        });
        return listed ? Win32::NoError : Win32ErrorFromSmb(errno);
    }

    int makeFolder(const std::string& path, unsigned) override { return Done(SmbMkdir(path)); }

    int makePath(const std::string& path) override
    {
        int error = 0;
        return smbpath::forceDirectories(UncFromSmbNative(path), &error) ? Win32::NoError : error;
    }

    int removeFolder(const std::string& path) override
    {
        if (SmbRmdir(path) == 0)
            return Win32::NoError;
        return errno == ENOTEMPTY || errno == EEXIST ? Win32::DirNotEmpty : Win32ErrorFromSmb(errno);
    }

    int removeFile(const std::string& path) override { return Done(SmbUnlink(path)); }

    int removeTree(const std::string& path) override
    {
        FileStatus st;
        if (const int code = status(path, &st, false))
            return code;
        if (!st.isFolder())
            return removeFile(path);
        std::vector<std::string> names;
        if (const int code = list(path, &names))
            return code;
        for (const std::string& name : names)
            if (const int code = removeTree(NativeJoin(path, name)))
                return code;
        return removeFolder(path);
    }

    int rename(const std::string& from, const std::string& to, bool replace) override
    {
        if (SmbShareOf(from) != SmbShareOf(to))
            return Win32::NotSameDevice;
        if (SmbRename(from, to, replace) == 0)
            return Win32::NoError;
        return errno == EEXIST && !replace ? Win32::AlreadyExists : Win32ErrorFromSmb(errno);
    }

    std::unique_ptr<PlatformFile> openForReading(const std::string& path, int* code) override
    {
        return SmbOpenFile(path, FileMode::Read, code);
    }

    std::unique_ptr<PlatformFile> createFile(const std::string& path, int* code) override
    {
        return SmbOpenFile(path, FileMode::Create, code);
    }

    // A share holds no links and no pipes.
    int readLink(const std::string&, std::string*) override { return Win32::NotSupported; }
    int makeLink(const std::string&, const std::string&) override { return Win32::NotSupported; }
    int makePipe(const std::string&, unsigned) override { return Win32::NotSupported; }

    bool keepsModes() const override { return false; }
    int setMode(const std::string&, unsigned) override { return Win32::NotSupported; }

    int setTimes(const std::string& path, const FileStatus& from) override
    {
        return Done(SmbSetModified(path, from.modified.tv_sec));
    }

    // Its entries go for good, as they do from network drives.
    bool hasTrash() const override { return false; }
    int moveToTrash(const std::string&, TrashItem*) override { return Win32::NotSupported; }

    int explain(int code, const std::string& path) override
    {
        return code == Win32::NoError ? code : SmbExplainError(code, UncFromSmbNative(path));
    }
};

} // namespace

FileSystem& SmbFileSystem()
{
    static ShareFiles files;
    return files;
}
