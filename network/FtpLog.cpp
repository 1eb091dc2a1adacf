#include "network/FtpLog.h"

#include "resources/UiText.h"

#include <iterator>

namespace {

struct CommandTexts {
    const char* success;
    const char* failure;
    const char* unsupported;
};

// By command code: the green line of a success, the red ones of a failure and of a command
// the server does not know.
const CommandTexts Texts[] = {
    {"變換目錄成功", "變換目錄失敗", "ChangeDir not supported by this server"},
    {"建立目錄成功", "建立目錄失敗", "MakeDir not supported by this server"},
    {"刪除檔名成功", "刪除檔案失敗", "Delete not supported by this server"},
    {"刪除目錄成功", "刪除目錄失敗", "RemoveDir not supported by this server"},
    {"列出目錄成功", "列出目錄失敗", "List not supported by this server"},
    {"更名成功", "更改名稱失敗", "Rename not supported by this server"},
    {nullptr, "上載失敗", "UploadRestore not supported by this server"},
    {nullptr, "下載失敗", "DownloadRestore not supported by this server"},
    {nullptr, "下載失敗", "Download not supported by this server"},
    {nullptr, "上傳失敗", "Upload not supported by this server"},
    {nullptr, "上傳失敗", "UploadAppend not supported by this server"},
    {"重新起始成功", "起始失敗", "Reinitialize not supported by this server"},
    {nullptr, "要求記憶體失敗", "Allocate not supported by this server"},
    {nullptr, "列出目錄失敗", "NList not supported by this server"},
    {nullptr, "執行命令失敗", "DoCommand not supported by this server"},
    {"得到目前的目錄", "發生未知的失敗", "CurrentDir not supported by this server"},
};

} // namespace

void FtpLog::add(QString text, const QColor& color)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back(Line{std::move(text), color});
}

void FtpLog::addResult(FtpCommand command, const FtpResult& result)
{
    const int code = static_cast<int>(command);
    const bool known = code >= 0 && code < int(std::size(Texts));
    if (result.ok) {
        if (known && Texts[code].success)
            add(UiText(Texts[code].success), Green);
        return;
    }
    if (result.cancelled)
        return;
    if (result.unsupported) {
        if (known)
            add(QString::fromUtf8(Texts[code].unsupported), Red);
        return;
    }
    // The failure and its reply go in together: a line of another thread never parts them.
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back(Line{UiText(known ? Texts[code].failure : "發生未知的失敗"), Red});
    if (!result.error.empty())
        m_lines.push_back(
            Line{QString::number(result.reply) + QLatin1Char(' ') + QString::fromStdString(result.error), Red});
}

QString FtpLog::addFailedFile(const QString& path, const FtpResult& result)
{
    QString line = path + QStringLiteral(": ") + QString::fromStdString(result.error);
    add(line, Red);
    return line;
}

std::vector<FtpLog::Line> FtpLog::take()
{
    std::vector<Line> lines;
    const std::lock_guard<std::mutex> lock(m_mutex);
    lines.swap(m_lines);
    return lines;
}
