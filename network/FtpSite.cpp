#include "network/FtpSite.h"

#include "platform/MemoryPages.h"
#include "platform/NativeFiles.h"
#include "platform/NativeNames.h"
#include "platform/TextCodec.h"
#include "resources/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

namespace {

bool hasNonAscii(const FtpListingText& listing) { return !IsAscii(listing.text); }

} // namespace

std::string FtpPathFromSite(const std::string& sitePath)
{
    std::string path;
    for (char c : sitePath)
        path += c == '\\' ? '/' : c;
    if (path.empty() || path.front() != '/')
        path.insert(path.begin(), '/');
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

FtpResult FtpSite::connect(const FtpSettings& settings, FtpEncoding encoding)
{
    m_chosen = encoding;
    m_decided = encoding != FtpEncoding::Auto;
    m_encoding = encoding == FtpEncoding::Auto ? FtpEncoding::Utf8 : encoding;
    FtpResult result = m_client.connect(settings);
    if (result.ok && encoding == FtpEncoding::Auto && m_client.announcesUtf8()) {
        m_encoding = FtpEncoding::Utf8;
        m_decided = true;
    }
    return result;
}

std::string FtpSite::remoteBytes(const std::string& path) const { return EncodeRemoteName(path, m_encoding); }

void FtpSite::decideEncodingFor(const std::string& path)
{
    if (m_decided)
        return;
    // A non-ASCII name is sent in the server's encoding, which auto mode learns from a
    // listing: the listing of the folder above the first such name shows its bytes.
    size_t start = 0;
    while (start < path.size()) {
        const size_t end = path.find('/', start + 1);
        const std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (std::any_of(part.begin(), part.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
            FtpListingText listing;
            const std::string parent = start == 0 ? "/" : path.substr(0, start);
            if (m_client.list(EncodeRemoteName(parent, m_encoding), false, listing).ok && hasNonAscii(listing)) {
                m_encoding = ChooseFtpEncoding(false, listing.lineTexts());
                m_decided = true;
            }
            return;
        }
        if (end == std::string::npos)
            return;
        start = end;
    }
}

FtpResult FtpSite::rawList(const std::string& folder, std::vector<std::string>& lines)
{
    FtpListingText listing;
    FtpResult result = m_client.list(remoteBytes(folder), false, listing);
    lines = listing.lineTexts();
    if (!m_decided && hasNonAscii(listing)) {
        m_encoding = ChooseFtpEncoding(false, lines);
        m_decided = true;
    }
    for (std::string& line : lines)
        line = DecodeRemoteName(line, m_encoding);
    return result;
}

FtpResult FtpSite::listFolder(const std::string& folder, double now, std::vector<FtpEntry>& entries,
                              std::vector<std::string>& refused, std::vector<std::string>* badDates)
{
    entries.clear();
    refused.clear();
    if (badDates)
        badDates->clear();
    decideEncodingFor(folder);
    FtpListingText listing;
    bool machine = m_client.offersMlsd();
    FtpResult result = m_client.list(remoteBytes(folder), machine, listing);
    if (!result.ok && machine && !result.cancelled) {
        machine = false;
        result = m_client.list(remoteBytes(folder), false, listing);
    }
    if (!result.ok)
        return result;
    if (!m_decided && hasNonAscii(listing)) {
        m_encoding = ChooseFtpEncoding(false, listing.lineTexts());
        m_decided = true;
    }
    ReservePrefaulted(entries, listing.lines.size());
    // One line's text at a time, in a buffer that keeps its room from line to line.
    std::string raw;
    for (const std::string_view view : listing.lines) {
        raw.assign(view);
        FtpEntry entry;
        // A line of plain ASCII reads the same in either encoding: parsed as it came.
        const bool plain = IsAscii(raw);
        const std::string decoded = plain ? std::string() : DecodeRemoteName(raw, m_encoding);
        const std::string& line = plain ? raw : decoded;
        const FtpLineResult parsed = machine ? ParseMlsdLine(line, entry) : ParseListLine(line, now, entry);
        if (parsed == FtpLineResult::Entry)
            entries.push_back(std::move(entry));
        else if (parsed == FtpLineResult::Unsafe)
            refused.push_back(entry.name);
        else if (parsed == FtpLineResult::BadDate && badDates)
            badDates->push_back(entry.name);
    }
    return result;
}

FtpResult FtpSite::download(const std::string& remote, const std::string& localPath, int64_t size, bool resume,
                            const FtpClient::Progress& progress)
{
    decideEncodingFor(remote);
    return m_client.download(remoteBytes(remote), localPath, size, resume, progress);
}

FtpResult FtpSite::upload(const std::string& localPath, const std::string& remote, const FtpClient::Progress& progress)
{
    return m_client.upload(localPath, remoteBytes(remote), progress);
}

FtpResult FtpSite::rename(const std::string& from, const std::string& to)
{
    return m_client.rename(remoteBytes(from), remoteBytes(to));
}

FtpResult FtpSite::deleteFile(const std::string& remote) { return m_client.deleteFile(remoteBytes(remote)); }
FtpResult FtpSite::removeDir(const std::string& remote) { return m_client.removeDir(remoteBytes(remote)); }
FtpResult FtpSite::makeDir(const std::string& remote) { return m_client.makeDir(remoteBytes(remote)); }
FtpResult FtpSite::changeDir(const std::string& folder)
{
    decideEncodingFor(folder);
    return m_client.changeDir(remoteBytes(folder));
}

FtpResult FtpSite::downloadTree(const std::string& remote, const std::string& localFolder, double now, const Log& log,
                                const FtpClient::Progress& progress)
{
    FtpResult result;
    if (!NativeExists(localFolder) && !MakeNativePath(localFolder)) {
        result.error = UiFormat("無法建立資料夾 %1", {localFolder});
        return result;
    }
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused, badDates;
    result = listFolder(remote, now, entries, refused, &badDates);
    if (!result.ok)
        return result;
    for (const std::string& name : refused)
        log(UiFormat("拒絕不安全的名稱: %1", {name}));
    for (const std::string& name : badDates)
        log(UiFormat("拒絕日期不正確的項目: %1", {name}));
    for (const FtpEntry& entry : entries) {
        if (m_client.cancel)
            break;
        const std::string from = RemoteJoin(remote, entry.name);
        // The native edge: the name's own bytes, never a part that leaves the folder.
        const std::string native = NativeName(entry.name);
        if (!IsNativeComponent(native)) {
            log(UiFormat("拒絕不安全的名稱: %1", {entry.name}));
            continue;
        }
        const std::string to = NativeJoin(localFolder, native);
        log(from);
        result = entry.folder ? downloadTree(from, to, now, log, progress)
                              : download(from, to, entry.size, false, progress);
        if (!result.ok)
            return result;
    }
    return result;
}

FtpResult FtpSite::uploadTree(const std::string& localFolder, const std::string& remote, const Log& log,
                              const FtpClient::Progress& progress)
{
    FtpResult result = makeDir(remote);
    // An existing folder is fine: the files go into it.
    if (!result.ok && !changeDir(remote).ok)
        return result;
    result.ok = true;
    DIR* folder = opendir(localFolder.c_str());
    if (!folder) {
        result.ok = false;
        result.error = UiFormat("無法讀取 %1", {localFolder});
        return result;
    }
    std::vector<std::pair<std::string, bool>> children;
    while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat status {};
        if (::stat(NativeJoin(localFolder, name).c_str(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode) || S_ISREG(status.st_mode))
            children.emplace_back(name, S_ISDIR(status.st_mode));
    }
    closedir(folder);
    for (const auto& [name, isFolder] : children) {
        if (m_client.cancel)
            break;
        const std::string from = NativeJoin(localFolder, name);
        const std::string to = RemoteJoin(remote, name);
        log(from);
        result = isFolder ? uploadTree(from, to, log, progress) : upload(from, to, progress);
        if (!result.ok)
            return result;
    }
    return result;
}

FtpResult FtpSite::deleteTree(const std::string& remote, double now, const Log& log)
{
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused;
    FtpResult result = listFolder(remote, now, entries, refused);
    if (!result.ok)
        return result;
    for (const FtpEntry& entry : entries) {
        const std::string path = RemoteJoin(remote, entry.name);
        log(path);
        result = entry.folder ? deleteTree(path, now, log) : deleteFile(path);
        if (!result.ok)
            return result;
    }
    return removeDir(remote);
}

FtpSiteOptions ReadFtpSiteOptions(const std::string& nativeBase)
{
    FtpSiteOptions options;
    std::ifstream in(nativeBase + ".OPT");
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("encoding=", 0) == 0)
            ParseFtpEncoding(line.substr(9), options.encoding);
        else if (line == "passive=1")
            options.passive = true;
    }
    return options;
}

bool WriteFtpSiteOptions(const std::string& nativeBase, const FtpSiteOptions& options)
{
    // Through a temporary file: a failed write leaves the old choices whole.
    const std::string path = nativeBase + ".OPT", temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "encoding=" << FtpEncodingName(options.encoding) << "\npassive=" << (options.passive ? 1 : 0) << "\n";
        if (!out.flush()) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
