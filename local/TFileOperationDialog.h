#pragma once
#include <QDialog>

#include <atomic>
#include <memory>

#include "local/FileOperationEngine.h"

class QLabel;
class QProgressBar;
class QTimer;

// The progress window of one file operation: what is being done, the entry at hand, a
// bar, and a cancel button. It appears only when the operation takes a while, so quick
// renames and small copies do not flash a window. Window thread only; the cancel flag may
// be read from any thread.
class TFileOperationDialog : public QDialog {
    Q_OBJECT
public:
    /// Delay before the window appears.
    static constexpr int kShowDelayMs = 500;

    TFileOperationDialog(QWidget* owner, uint32_t operation, const QString& title, bool simple);

    void Begin(uint64_t totalBytes, uint64_t totalEntries);
    void SetProgress(uint64_t doneBytes, const std::string& nativeCurrent);
    /// The flag the cancel button sets; shared so a worker can keep reading it safely.
    std::shared_ptr<std::atomic<bool>> CancelFlag() const { return m_cancel; }

    /// The text shown for a native path: the Windows-style path when it has one.
    static QString DisplayPath(const std::string& nativePath);
    /// The error text for a failed outcome (empty for success or a cancel).
    static QString ErrorText(const FileOperationOutcome& outcome);
    /// What the copies of an outcome could not keep of their sources (dates, permissions),
    /// entry by entry with the reason; empty when they kept everything.
    static QString NotKeptText(const FileOperationOutcome& outcome);

protected:
    void reject() override;

private:
    std::shared_ptr<std::atomic<bool>> m_cancel = std::make_shared<std::atomic<bool>>(false);
    bool m_simple;
    uint64_t m_totalBytes = 0;
    uint64_t m_totalEntries = 0;
    uint64_t m_entriesSeen = 0;
    std::string m_lastEntry;
    QLabel* m_current;
    QProgressBar* m_bar;
    QTimer* m_showTimer;
};
