#pragma once
#include "local/FileOperationEngine.h"

#include <deque>
#include <string>
#include <vector>

// Answers the engine's questions from a script and records what it was asked.
class ScriptedUi : public FileOperationUi {
public:
    std::deque<OverwriteAnswer> answers;
    std::vector<std::string> askedFor;
    bool confirmAnswer = true;
    int confirmAsked = 0;
    uint64_t cancelAfterBytes = UINT64_MAX;
    uint64_t lastProgress = 0;
    uint64_t totalBytes = 0;
    bool begun = false;
    bool ended = false;

    void begin(uint32_t, uint64_t bytes, uint64_t) override
    {
        begun = true;
        totalBytes = bytes;
    }
    void progress(uint64_t done, const std::string&) override { lastProgress = done; }
    bool cancelled() override { return lastProgress >= cancelAfterBytes; }
    OverwriteAnswer askOverwrite(const FileOpEntry& existing, const FileOpEntry&) override
    {
        askedFor.push_back(existing.path);
        if (answers.empty())
            return OverwriteAnswer::Cancel;
        const OverwriteAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool confirmDelete(const std::vector<std::string>&, bool) override
    {
        ++confirmAsked;
        return confirmAnswer;
    }
    void end() override { ended = true; }
};
