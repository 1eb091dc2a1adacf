#pragma once
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "local/FileOperationEngine.h"

class QWidget;

// The questions a file operation puts to the user, on the window thread. The defaults
// show our dialogs; a caller (a test) may answer them itself.
struct FileOperationQuestions {
    std::function<OverwriteAnswer(QWidget* owner, const FileOpEntry& existing, const FileOpEntry& incoming)> askOverwrite;
    std::function<bool(QWidget* owner, const std::vector<std::string>& nativePaths, bool toTrash)> confirmDelete;
    std::function<void(QWidget* owner, const QString& text)> showError;
    /// Something the user should know of an operation that went through (copies that
    /// could not keep their dates); unset, nothing is shown.
    std::function<void(QWidget* owner, const QString& text)> showNotice;

    /// Our dialogs and message boxes.
    static FileOperationQuestions Dialogs();
};
