#include "network/TCrawlForm.h"

#include "local/ForceStopEvent.h"
#include "local/TThreadForm.h"
#include "network/NetPassword.h"
#include "network/TPassForm.h"
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
    connect(m_process, &QProcess::readyReadStandardOutput, this, &TCrawlForm::ProcessOutput);
    connect(m_process, &QProcess::finished, this, &TCrawlForm::ProcessFinished);
    connect(m_stop, &QPushButton::clicked, this, &TCrawlForm::ForceStop);
    AskCredentials = [this](const QString& share, const QString& why, QString& user, QString& password, bool& remember) {
        TPassForm dialog(this);
        dialog.setReason(TPassForm::reasonText(share, why));
        dialog.ComputerEdit->setEnabled(false);  // the crawl needs this share's password
        if (!dialog.showFor(share))
            return false;
        user = dialog.userName();
        password = dialog.password();
        remember = dialog.remember();
        return true;
    };
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

bool TCrawlForm::startProcess(const QStringList& arguments, const QByteArray& input)
{
    // A password goes through standard input, never the command line others can read.
    if (input.isEmpty())
        m_process->setStandardInputFile(QProcess::nullDevice());
    else
        m_process->setStandardInputFile(QString());
    m_process->start(m_program, arguments + QStringList{QStringLiteral("--json")});
    if (!m_process->waitForStarted(5000))
        return false;
    if (!input.isEmpty()) {
        m_process->write(input);
        m_process->closeWriteChannel();
    }
    return true;
}

bool TCrawlForm::Start()
{
    if (!startProcess(m_arguments, {})) {
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
        const Refusal refusal{o.value(QStringLiteral("refused")).toString(),
                              o.value(QStringLiteral("message")).toString().trimmed()};
        log(UiText("%1 的分享 %2 拒絕存取：%3").arg(computer, refusal.share, refusal.message));
        // Asked once the updater has ended: the user answers one share at a time.
        if (!refusal.share.isEmpty())
            m_refused.append(refusal);
        return;
    }
    const QString state = o.value(QStringLiteral("state")).toString();
    if (state == QLatin1String("running")) {
        m_state->setText(UiText("%1：%2 個資料夾，%3 個檔案")
                             .arg(computer)
                             .arg(o.value(QStringLiteral("folders")).toInt())
                             .arg(o.value(QStringLiteral("files")).toInteger()));
    } else if (state == QLatin1String("complete") || state == QLatin1String("partial")) {
        m_done.insert(computer);
        m_state->setText(UiText("%1 完成，共 %2 個檔案").arg(computer).arg(o.value(QStringLiteral("files")).toInt()));
        if (state == QLatin1String("partial"))
            for (const QJsonValue& reason : o.value(QStringLiteral("reasons")).toArray())
                log(UiText("%1 部分完成：%2").arg(computer, reason.toString()));
        emit ComputerCrawled(computer);
    } else if (state == QLatin1String("failed")) {
        m_done.insert(computer);
        log(UiText("%1 失敗：%2").arg(computer, o.value(QStringLiteral("message")).toString().trimmed()));
    }
}

bool TCrawlForm::askForNextRefusal()
{
    while (!m_refused.isEmpty() && !m_stopping && AskCredentials) {
        const Refusal refusal = m_refused.takeFirst();
        QString user, password;
        bool remember = false;
        QString message = refusal.message;
        while (message.endsWith(QChar(0x3002)) || message.endsWith(QLatin1Char('.')))
            message.chop(1);  // the sentence around it ends itself
        const QString why = UiText("更新快取時伺服器拒絕存取（%1）。輸入密碼後會再讀取這個分享。").arg(message);
        if (!AskCredentials(refusal.share, why, user, password, remember))
            continue;
        if (remember) {
            try {
                StoreNetPassword((refusal.share + QLatin1Char('\\')).toStdString(), user.toStdString(), password.toStdString());
            } catch (const std::exception& failure) {
                log(QString::fromUtf8(failure.what()));
            }
        }
        // "\\SERVER\SHARE": the computer and the share the updater reads once more.
        const QStringList parts = refusal.share.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
        if (parts.size() != 2)
            continue;
        m_state->setText(UiText("再讀取 %1").arg(refusal.share));
        log(UiText("以使用者 %1 再讀取 %2").arg(user, refusal.share));
        const QStringList arguments{QStringLiteral("--share"), parts[1], QStringLiteral("--user"), user,
                                    QStringLiteral("--password-stdin"), QStringLiteral("\\\\") + parts[0]};
        if (startProcess(arguments, password.toUtf8() + '\n'))
            return true;
        log(UiText("無法啟動 %1").arg(m_program));
    }
    return false;
}

void TCrawlForm::ProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    ProcessOutput();
    const bool ok = status == QProcess::NormalExit && exitCode == 0;
    if (m_stopping)
        log(UiText("已中斷"));
    else if (status != QProcess::NormalExit)
        log(UiText("更新程式異常結束"));
    // A share that refused: the user may give its password, and the updater runs again for it.
    if (askForNextRefusal())
        return;
    log(UiText("結束，%1 台電腦").arg(m_done.size()));
    if (m_taskId && ThreadForm)
        ThreadForm->RemoveTask(m_taskId);
    m_taskId = 0;
    emit Finished(ok);
    hide();
    deleteLater();
}
