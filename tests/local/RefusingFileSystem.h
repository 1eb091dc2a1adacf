#pragma once
#include "platform/FileSystem.h"
#include "platform/Win32Error.h"

#include <string>
#include <vector>

// A file system that does whatever another one does, except what a test makes it refuse:
// setting dates or modes (as a volume or a server that ignores them would), or a rename
// between two places (as two volumes would, so that a move copies). It records the paths
// whose dates and modes it was asked to set.
class RefusingFileSystem : public FileSystem {
public:
    explicit RefusingFileSystem(FileSystem& real) : m_real(real) {}

    int refuseTimes = 0;      // the code setTimes fails with; 0 passes it on
    int refuseMode = 0;       // the code setMode fails with; 0 passes it on
    bool separateVolumes = false; // every rename that would replace says NotSameDevice
    std::vector<std::string> timesAskedFor;
    std::vector<std::string> modeAskedFor;

    int status(const std::string& path, FileStatus* st, bool follow) override { return m_real.status(path, st, follow); }
    int list(const std::string& folder, std::vector<std::string>* names) override { return m_real.list(folder, names); }
    int makeFolder(const std::string& path, unsigned mode) override { return m_real.makeFolder(path, mode); }
    int makePath(const std::string& path) override { return m_real.makePath(path); }
    int removeFolder(const std::string& path) override { return m_real.removeFolder(path); }
    int removeFile(const std::string& path) override { return m_real.removeFile(path); }
    int removeTree(const std::string& path) override { return m_real.removeTree(path); }
    int rename(const std::string& from, const std::string& to, bool replace) override
    {
        // The engine renames its finished temporary copies with `replace` as well: those
        // stay in one folder, and so on one volume.
        const bool partFile = from.find(".tamsel-part-") != std::string::npos;
        if (separateVolumes && replace && !partFile)
            return Win32::NotSameDevice;
        return m_real.rename(from, to, replace);
    }
    std::unique_ptr<PlatformFile> openForReading(const std::string& path, int* code) override
    {
        return m_real.openForReading(path, code);
    }
    std::unique_ptr<PlatformFile> createFile(const std::string& path, int* code) override
    {
        return m_real.createFile(path, code);
    }
    int readLink(const std::string& path, std::string* target) override { return m_real.readLink(path, target); }
    int makeLink(const std::string& target, const std::string& path) override { return m_real.makeLink(target, path); }
    int makePipe(const std::string& path, unsigned mode) override { return m_real.makePipe(path, mode); }
    bool keepsModes() const override { return m_real.keepsModes(); }
    int setMode(const std::string& path, unsigned mode) override
    {
        modeAskedFor.push_back(path);
        return refuseMode ? refuseMode : m_real.setMode(path, mode);
    }
    int setTimes(const std::string& path, const FileStatus& from) override
    {
        timesAskedFor.push_back(path);
        return refuseTimes ? refuseTimes : m_real.setTimes(path, from);
    }
    bool hasTrash() const override { return m_real.hasTrash(); }
    int moveToTrash(const std::string& path, TrashItem* item) override { return m_real.moveToTrash(path, item); }
    int explain(int code, const std::string& path) override { return m_real.explain(code, path); }

    /// The picker the engine takes: this file system for every path.
    FileSystemPicker picker()
    {
        return [this](const std::string&) -> FileSystem& { return *this; };
    }

private:
    FileSystem& m_real;
};
