#pragma once
#include "tools/quellor/Collector.h"

#include <QMainWindow>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class TObjCollect;

// The collector's window "收集器": a list of paths (or the search window's results), a
// local folder, and a log of what was fetched and what could not be.
class QuellorWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit QuellorWindow(std::string cachePath, QWidget* parent = nullptr);
    ~QuellorWindow() override;

    /// Puts the lines of a file (paths or the search's JSON lines) into the list.
    void loadList(const QString& nativePath);
    /// Fetches everything in the list into the target folder, on a worker.
    void CollectButtonClick();
    bool collecting() const { return m_worker != nullptr; }

    /// Whether a host answers; PingHost when empty. Called on the worker (tests set it).
    std::function<bool(const std::string& host)> HostAnswers;

    QPlainTextEdit* ListEdit = nullptr;
    QLineEdit* TargetEdit = nullptr;
    QPushButton* BrowseButton = nullptr;
    QPushButton* CollectButton = nullptr;
    QTreeWidget* ResultTree = nullptr;
    QLabel* StatusLabel = nullptr;

private:
    void BrowseButtonClick();
    void collected(const CollectResult& result);
    void collectDone();

    const std::string m_cachePath;
    TObjCollect* m_worker = nullptr;
    int m_fetched = 0;
    int m_failed = 0;
};
