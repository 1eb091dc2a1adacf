// The archive file side of TLZHuff: export, import and the walk that collects the names.
#include "store/TLZHuff.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/FolderLinks.h"
#include "store/NodePaths.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t FileAttributeDirectory = 0x10;

void writeOrRaise(PlatformFile& file, const void* data, size_t size)
{
    if (size > 0 && !file.write(data, size))
        throw Exception("Write Error");
}

// Reads up to `count` bytes; fewer only at the end of the file.
size_t readUpTo(PlatformFile& file, void* buffer, size_t count)
{
    size_t got = 0;
    if (count > 0 && !file.read(buffer, count, &got))
        RaiseFileError(file.error());
    return got;
}

// Names sort as the archives of the test vectors do: upper-cased, by UTF-16 code units.
// The format allows any depth-first order; a fixed one makes archives reproducible.
std::u16string sortKey(const std::string& name)
{
    std::u16string key;
    for (size_t pos = 0; pos < name.size();) {
        char32_t c = NextUtf8(name, pos);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2)
            || (c >= 0x430 && c <= 0x44F) || (c >= 0xFF41 && c <= 0xFF5A))
            c -= 0x20;
        else if (c >= 0x450 && c <= 0x45F)
            c -= 0x50;
        if (c > 0xFFFF) {
            c -= 0x10000;
            key += char16_t(0xD800 + (c >> 10));
            key += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            key += char16_t(c);
        }
    }
    return key;
}

// A name from an archive is restored only when it stays inside the base folder: relative,
// without a drive or stream colon, and every part a plain name by the check all names
// entering the program pass (which sees through escapes).
std::string checkArchiveName(const std::string& name)
{
    if (name.empty())
        return UiCaption("空白的名稱");
    size_t start = 0;
    while (true) {
        const size_t end = name.find('\\', start);
        const std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty())
            return start == 0 ? UiCaption("絕對路徑") : UiCaption("空白的資料夾名稱");
        if (part.find(':') != std::string::npos)
            return UiCaption("磁碟代號或冒號");
        if (std::string fault = NameFault(part); !fault.empty())
            return fault;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

// An FTP site's block (".ATT") holds its password.
bool isSecretFile(const std::string& name)
{
    return name.size() >= 4 && UpperAscii(name.substr(name.size() - 4)) == ".ATT";
}

uint32_t load32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

void TLZHuff::CollectFiles(const std::string& baseFolder, const std::string& relFolder,
                           std::vector<std::string>& list)
{
    std::vector<FindEntry> entries;
    int error = 0;
    if (!ListDirectory(baseFolder + relFolder, entries, &error))
        RaiseFileError(error);
    std::sort(entries.begin(), entries.end(),
              [](const FindEntry& a, const FindEntry& b) { return sortKey(a.name) < sortKey(b.name); });
    for (const FindEntry& e : entries) {
        if (e.attributes & FileAttributeDirectory) {
            // A link to a folder is not walked: it could lead outside the tree or in a circle.
            if (!IsSymbolicLink(baseFolder + relFolder + e.name))
                CollectFiles(baseFolder, relFolder + e.name + "\\", list);
        } else {
            list.push_back(relFolder + e.name);
        }
    }
}

bool TLZHuff::encodeFile(PlatformFile& archive, const std::string& path)
{
    std::vector<uint8_t> data;
    {
        auto file = OpenFileOrRaise(path, FileMode::Read);
        const int64_t size = file->size();
        if (size < 0)
            RaiseFileError(file->error());
        if (size > int64_t(0xFFFFFFFFu))
            throw Exception(UiFormat("檔案 %1 太大，無法放入封存檔（上限 4 GB）", {path}));
        data.resize(size_t(size));
        data.resize(readUpTo(*file, data.data(), data.size()));
    }
    std::vector<uint8_t> block;
    const bool result = EncodeBlock(data, block);
    data = {};
    writeOrRaise(archive, block.data(), block.size());
    return result;
}

bool TLZHuff::ExportArchive(const std::string& baseFolder, const std::vector<std::string>& paths,
                            const std::string& archivePath)
{
    const std::string base = AddBackslash(baseFolder);
    m_cancel.store(false);
    resetWindow();
    m_fileIndex = 0;
    m_fileCount = 1;

    // Every name is known before anything is written: a missing source fails first.
    std::vector<std::string> names;
    for (const std::string& full : paths) {
        const std::string name(BareName(RemoveBackslash(full)));
        if (DirectoryExists(full))
            CollectFiles(base, name + "\\", names);
        else if (FileExists(full))
            names.push_back(name);
        else
            throw Exception("Not Exists File or Directory " + full);
    }

    RemoveStaleTemporaries(archivePath);
    const std::string temp = TemporaryPath(archivePath);
    try {
        {
            auto archive = OpenFileOrRaise(temp, FileMode::Create);
            const unsigned char magic[2] = {Magic & 0xFF, Magic >> 8};
            writeOrRaise(*archive, magic, 2);

            std::vector<uint8_t> header;
            for (const std::string& name : names) {
                const std::string bytes = EncodeCP950(name);
                header.insert(header.end(), bytes.begin(), bytes.end());
                header.push_back(0);
            }
            m_currentPath = m_currentName = "Header";
            std::vector<uint8_t> block;
            EncodeBlock(header, block);
            writeOrRaise(*archive, block.data(), block.size());

            m_fileCount = int(names.size());
            for (const std::string& name : names) {
                if (cancelled())
                    break;
                m_currentPath = base + name;
                m_currentName = name;
                encodeFile(*archive, m_currentPath);
                m_fileIndex++;
            }
            if (!cancelled() && !archive->flush())
                RaiseFileError(archive->error());
        }
        if (cancelled()) {
            DeleteFile(temp);
            return false;
        }
        int error = 0;
        if (!ReplaceFile(temp, archivePath, &error))
            RaiseFileError(error);
    } catch (...) {
        DeleteFile(temp);
        throw;
    }
    return true;
}

bool TLZHuff::decodeToFile(PlatformFile& archive, int64_t& pos, int64_t archiveSize, const std::string& path,
                           std::vector<uint8_t>* keep)
{
    if (cancelled())
        return false;
    unsigned char sizeField[4];
    if (!archive.seek(pos))
        RaiseFileError(archive.error());
    if (readUpTo(archive, sizeField, 4) < 4)
        throw Exception(UiFormat("封存檔不完整：%1 的資料大小欄位被截斷", {m_currentName}));
    pos += 4;
    const uint32_t size = load32(sizeField);
    m_sourceSize = size;
    m_produced = 0;
    m_nextProgress = 0;
    m_lastBlockShort = false;
    m_lastBlockLong = false;

    std::unique_ptr<PlatformFile> target;
    if (!keep)
        target = OpenFileOrRaise(path, FileMode::Create);
    if (size == 0) {
        if (target && !target->flush())
            RaiseFileError(target->error());
        return false;
    }

    // A valid block is never longer than its literals and their flag bytes; a size field
    // that claims more than the archive holds is bounded by what is left of the file.
    const uint64_t bound = uint64_t(size) + size / 8 + 2;
    std::vector<uint8_t> coded(size_t(std::min<uint64_t>(bound, uint64_t(std::max<int64_t>(0, archiveSize - pos)))));
    coded.resize(readUpTo(archive, coded.data(), coded.size()));
    std::vector<uint8_t> produced;
    pos += int64_t(decode(coded.data(), coded.size(), size, produced));
    coded = {};
    m_lastBlockShort = produced.size() < size && !cancelled();
    if (keep) {
        *keep = std::move(produced);
    } else {
        writeOrRaise(*target, produced.data(), produced.size());
        if (!target->flush())
            RaiseFileError(target->error());
    }
    if (OnBlockDecoded)
        OnBlockDecoded(*this);
    return true;
}

namespace {

// What an import has made so far: the temporary files of decoded members and the folders
// it created, undone unless the whole archive proves sound.
struct ImportStaging {
    std::vector<std::pair<std::string, std::string>> files;  // temporary, target
    std::vector<std::string> folders;                         // created, outermost first

    void discard()
    {
        for (const auto& [temp, target] : files)
            if (FileExists(temp))
                DeleteFile(temp);
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            RemoveDirectory(*it);  // only when still empty
        files.clear();
        folders.clear();
    }

    void makeFolder(const std::string& folder)
    {
        if (DirectoryExists(folder))
            return;
        std::vector<std::string> missing;
        for (std::string step = RemoveBackslash(folder); !step.empty() && !DirectoryExists(step);) {
            missing.push_back(step);
            std::string parent = RemoveBackslash(FolderPart(step));
            if (parent == step)
                break;
            step = std::move(parent);
        }
        int error = 0;
        if (!ForceDirectories(folder, &error))
            RaiseFileError(error);
        folders.insert(folders.end(), missing.rbegin(), missing.rend());
    }
};

} // namespace

bool TLZHuff::ImportArchive(const std::string& archivePath, const std::string& baseFolder)
{
    const std::string base = AddBackslash(baseFolder);
    m_cancel.store(false);
    resetWindow();
    m_fileIndex = 0;
    m_fileCount = 1;
    auto archive = OpenFileOrRaise(archivePath, FileMode::Read);
    const int64_t archiveSize = archive->size();
    unsigned char magic[2] = {0, 0};
    if (readUpTo(*archive, magic, 2) < 2 || (magic[0] | magic[1] << 8) != Magic)
        throw Exception("Not Support Type");

    int64_t pos = 2;
    std::vector<uint8_t> header;
    m_currentPath = m_currentName = "Header";
    if (!decodeToFile(*archive, pos, archiveSize, {}, &header))
        return !cancelled();
    if (m_lastBlockShort)
        throw Exception(UiCaption("封存檔不完整：檔名清單被截斷，沒有還原任何檔案"));
    if (m_lastBlockLong)
        throw Exception(UiCaption("封存檔已損壞：檔名清單比記載的大小長，沒有還原任何檔案"));

    // Names end at NUL bytes (text after the last NUL is not a name). Each is decoded
    // before it is split into folders: a CP950 trail byte can be 0x5C.
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t k = 0; k < header.size(); k++) {
        if (header[k] != 0)
            continue;
        names.push_back(DecodeCP950(std::string_view(reinterpret_cast<const char*>(header.data()) + start, k - start)));
        start = k + 1;
    }
    header = {};
    for (const std::string& name : names) {
        const std::string fault = checkArchiveName(name);
        if (!fault.empty())
            throw Exception(UiFormat("封存檔中的名稱 %1 不能還原（%2）：沒有還原任何檔案", {name, fault}));
    }

    ImportStaging staging;
    try {
        m_fileCount = int(names.size());
        for (const std::string& name : names) {
            if (cancelled())
                break;
            m_currentPath = base + name;
            m_currentName = name;
            // A link already in the cache would carry the file out of the base folder.
            for (size_t at = name.find('\\'); ; at = name.find('\\', at + 1)) {
                const std::string step = base + name.substr(0, at);
                if (IsSymbolicLink(step))
                    throw Exception(UiFormat("不能還原 %1：%2 是符號連結，會寫到基底資料夾之外", {name, step}));
                if (at == std::string::npos)
                    break;
            }
            if (DirectoryExists(m_currentPath))
                throw Exception(UiFormat("不能還原 %1：快取中同名的是資料夾", {name}));
            staging.makeFolder(std::string(FolderPart(m_currentPath)));
            RemoveStaleTemporaries(m_currentPath);  // of an import that was killed
            if (isSecretFile(name))
                KeepSecret(m_currentPath);  // its folder closes before the password is written
            const std::string temp = TemporaryPath(m_currentPath);
            staging.files.emplace_back(temp, m_currentPath);
            decodeToFile(*archive, pos, archiveSize, temp, nullptr);
            if (m_lastBlockShort)
                throw Exception(UiFormat("封存檔不完整：%1 只有 %2 / %3 位元組，沒有還原任何檔案",
                                         {name, std::to_string(m_produced), std::to_string(m_sourceSize)}));
            if (m_lastBlockLong)
                throw Exception(UiFormat("封存檔已損壞：%1 的資料比記載的 %2 位元組長，沒有還原任何檔案", {name, std::to_string(m_sourceSize)}));
            m_fileIndex++;
        }
        if (cancelled()) {
            staging.discard();
            return false;
        }
        if (pos < archiveSize)
            throw Exception(UiFormat("封存檔已損壞：%1 之後還有 %2 位元組不屬於任何檔案，沒有還原任何檔案",
                                     {m_currentName, std::to_string(archiveSize - pos)}));
        for (const auto& [temp, target] : staging.files) {
            int error = 0;
            if (!ReplaceFile(temp, target, &error))
                RaiseFileError(error);
            if (isSecretFile(target) && !KeepSecret(target))
                throw Exception(UiFormat("無法保護檔案 %1：只有本人可讀", {target}));
        }
    } catch (...) {
        staging.discard();
        throw;
    }
    return true;
}
