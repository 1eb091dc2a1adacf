#include "store/StoredFileReading.h"

#include "platform/Exception.h"
#include "platform/MemoryPages.h"
#include "resources/StringTable.h"

#include <algorithm>
#include <cstring>

void RaiseDamagedCacheFile(const std::string& path)
{
    throw Exception(UiFormat("快取檔 %1 已損壞", {path}));
}

std::string ReadCacheFileWhole(PlatformFile& file, const std::string& path)
{
    const int64_t size = file.size();
    if (size < 0)
        RaiseFileError(file.error());
    std::string data(size_t(size), '\0');
    size_t got = 0;
    if (size > 0 && (!file.read(data.data(), data.size(), &got)))
        RaiseFileError(file.error());
    if (got != data.size())
        RaiseDamagedCacheFile(path);
    return data;
}

thread_local std::unique_ptr<char[]> WholeFile::t_buffer;
thread_local size_t WholeFile::t_capacity = 0;
thread_local bool WholeFile::t_inUse = false;

WholeFile::WholeFile()
{
    if (!t_inUse) {
        t_inUse = true;
        m_shared = true;
    }
}

WholeFile::~WholeFile()
{
    if (m_shared) {
        t_inUse = false;
        if (t_capacity > KeptBytes) {
            t_buffer.reset();
            t_capacity = 0;
        }
    }
}

void WholeFile::read(PlatformFile& file, const std::string& path)
{
    const int64_t size = file.size();
    if (size < 0)
        RaiseFileError(file.error());
    m_size = size_t(size);
    // A fresh buffer's pages are faulted in at once; the read would bring them in one by one.
    // The thread's kept buffer has them already when it is used again.
    char* buffer = nullptr;
    if (m_shared) {
        if (t_capacity < m_size + 1) {
            t_buffer.reset();
            t_buffer.reset(new char[m_size + 1]);
            t_capacity = m_size + 1;
            PrefaultForWriting(t_buffer.get(), m_size);
        }
        buffer = t_buffer.get();
    } else {
        m_own.reset(new char[m_size + 1]);
        buffer = m_own.get();
        PrefaultForWriting(buffer, m_size);
    }
    size_t got = 0;
    if (m_size > 0 && !file.read(buffer, m_size, &got))
        RaiseFileError(file.error());
    if (got != m_size)
        RaiseDamagedCacheFile(path);
    m_data = buffer;
}

bool SliceReader::read(unsigned char* out, size_t count)
{
    while (count > 0) {
        if (m_pos == m_data.size() && !refill())
            return false;
        const size_t take = std::min(count, m_data.size() - m_pos);
        std::memcpy(out, m_data.data() + m_pos, take);
        m_pos += take;
        out += take;
        count -= take;
    }
    return true;
}

bool SliceReader::refill()
{
    m_data.resize(64 * 1024);
    size_t got = 0;
    if (!m_file.read(m_data.data(), m_data.size(), &got))
        RaiseFileError(m_file.error());
    m_data.resize(got);
    m_pos = 0;
    return got > 0;
}
