#include "network/TCrawlForm.h"

#include "local/ForceStopEvent.h"
#include "local/TThreadForm.h"
#include "resources/UiText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QPointer<TCrawlForm> g_running;
QString TaskName()
{
    return UiText("更新快取");
}
} // namespace

TCrawlForm::TCrawlForm(const QString& program, const QStringList& arguments, QWidget* parent)
    : QWidget(parent, Qt::Window), m_process(new QProcess(this)), m_state(new QLabel(this)),
      m_bar(new QProgressBar(this)), m_stop(new QPushButton(UiText("停止"), this)), m_program(program),
      m_arguments(arguments)
{
    setObjectName(QStringLiteral("CrawlForm"));
    setWindowTitle(TaskName());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_state);
    layout->addWidget(m_bar);
    layout->addWidget(m_stop);
    m_bar->setRange(0, 0);  // the number of computers is known only as they come
    m_state->setText(UiText("準備中"));
    // Its error lines go to the task list's log through the JSON lines; standard error
    // holds only what those already say.
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::readyReadStandardOutput, this, &TCrawlForm::ProcessOutput);
    connect(m_process, &QProcess::finished, this, &TCrawlForm::ProcessFinished);
    connect(m_stop, &QPushButton::clicked, this, &TCrawlForm::ForceStop);
}

TCrawlForm::~TCrawlForm()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->terminate();
        m_process->waitForFinished(5000);
    }
    if (m_taskId && ThreadForm)
        ThreadForm->RemoveTask(m_taskId);
}

TCrawlForm* TCrawlForm::Running()
{
    return g_running;
}

bool TCrawlForm::Start()
{
    m_process->start(m_program, m_arguments + QStringList{QStringLiteral("--json")});
    if (!m_process->waitForStarted(5000)) {
        deleteLater();
        return false;
    }
    g_running = this;
    if (ThreadForm)
        m_taskId = ThreadForm->AddTask(TaskName(), UiText("快取"), this, UiText("執行中"));
    return true;
}

bool TCrawlForm::event(QEvent* event)
{
    if (event->type() == ForceStopEventType()) {
        ForceStop();
        return true;
    }
    return QWidget::event(event);
}

void TCrawlForm::ForceStop()
{
    if (m_stopping || m_process->state() == QProcess::NotRunning)
        return;
    m_stopping = true;
    setWindowTitle(UiText("中斷中 - %1").arg(TaskName()));
    m_state->setText(UiText("中斷中：未完成的電腦保留先前的快取"));
    m_process->terminate();  // the updater stops its crawls and leaves their caches as they were
}

void TCrawlForm::ProcessOutput()
{
    m_buffer += m_process->readAllStandardOutput();
    for (qsizetype nl; (nl = m_buffer.indexOf('\n')) >= 0;) {
        takeLine(m_buffer.left(nl));
        m_buffer.remove(0, nl + 1);
    }
}

void TCrawlForm::log(const QString& text)
{
    if (ThreadForm)
        ThreadForm->AppendLog(TaskName() + QStringLiteral(":") + text);
}

void TCrawlForm::takeLine(const QByteArray& line)
{
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    const QString computer = o.value(QStringLiteral("computer")).toString();
    if (computer.isEmpty())
        return;
    if (o.contains(QStringLiteral("refused"))) {
        log(UiText("%1 的分享 %2 拒絕存取：%3")
                .arg(computer, o.value(QStringLiteral("refused")).toString(),
                     o.value(QStringLiteral("message")).toString().trimmed()));
        return;
    }
    const QString state = o.value(QStringLiteral("state")).toString();
    if (state == QLatin1String("running")) {
        m_state->setText(UiText("%1：%2 個資料夾，%3 個檔案")
                             .arg(computer)
                             .arg(o.value(QStringLiteral("folders")).toInt())
                             .arg(o.value(QStringLiteral("files")).toInteger()));
    } else if (state == QLatin1String("complete") || state == QLatin1String("partial")) {
        ++m_done;
        m_state->setText(UiText("%1 完成，共 %2 個檔案").arg(computer).arg(o.value(QStringLiteral("files")).toInt()));
        if (state == QLatin1String("partial"))
            for (const QJsonValue& reason : o.value(QStringLiteral("reasons")).toArray())
                log(UiText("%1 部分完成：%2").arg(computer, reason.toString()));
        emit ComputerCrawled(computer);
    } else if (state == QLatin1String("failed")) {
        ++m_done;
        log(UiText("%1 失敗：%2").arg(computer, o.value(QStringLiteral("message")).toString().trimmed()));
    }
}

void TCrawlForm::ProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    ProcessOutput();
    const bool ok = status == QProcess::NormalExit && exitCode == 0;
    if (m_stopping)
        log(UiText("已中斷"));
    else if (status != QProcess::NormalExit)
        log(UiText("更新程式異常結束"));
    log(UiText("結束，%1 台電腦").arg(m_done));
    if (m_taskId && ThreadForm)
        ThreadForm->RemoveTask(m_taskId);
    m_taskId = 0;
    emit Finished(ok);
    hide();
    deleteLater();
}
