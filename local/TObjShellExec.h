#pragma once
#include <QString>

#include <string>

#include "local/TWorkerThread.h"

class QWidget;

// One "open" (kind 0) or "explore" (kind 1) request, carried out off the window thread so
// the window never waits for the desktop. Its completion handler reads Result.
class TObjShellExec : public TWorkerThread {
public:
    enum Kind : int { Open = 0, Explore = 1 };

    /// `path` is Windows-style. The window is kept but not used for the request.
    TObjShellExec(QWidget* window, const std::string& path, int kind);

    /// Start operation, after the handlers are set.
    void Start() { Resume(); }

    /// The desktop's answer (ShellServices codes: ShellOk, ShellNoAssociation, ...).
    int Result = 0;
    /// Why it failed, in the program's words, when the desktop said more than "failed".
    QString FailureReason;
    const std::string& Path() const { return m_path; }
    int Kind() const { return m_kind; }

protected:
    void Execute() override;

private:
    QWidget* m_window;
    const std::string m_path;
    const int m_kind;
};
