#include "local/TObjShellExec.h"

#include "platform/DriveMap.h"
#include "platform/SmbFiles.h"
#include "platform/ShellServices.h"

TObjShellExec::TObjShellExec(QWidget* window, const std::string& path, int kind)
    : m_window(window), m_path(path), m_kind(kind)
{
}

void TObjShellExec::Execute()
{
    const std::string native = AnyNativePath(m_path);
    if (native.empty()) {
        Result = ShellServices::ShellFileNotFound;
        return;
    }
    if (m_kind == Open)
        Result = ShellServices::OpenWithArguments(native, {}, true, [this](const std::string& file) {
            bool yes = false;
            Synchronize([&] { yes = ShellServices::AskBeforeRunning(file); });
            return yes;
        });
    else if (m_kind == Explore)
        Result = ShellServices::Explore(native);
    FailureReason = ShellServices::LastFailureReason();
}
