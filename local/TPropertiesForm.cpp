#include "local/TPropertiesForm.h"

#include "local/TObjFolderSize.h"
#include "platform/DriveMap.h"
#include "platform/FileSystem.h"
#include "platform/NativeFiles.h"
#include "platform/SmbFiles.h"
#include "platform/NativeNames.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeDatabase>
#include <QVBoxLayout>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum : int {
    kStrTitle = 44030, kStrType = 44031, kStrLocation = 44032, kStrSize = 44033, kStrContains = 44034,
    kStrCreated = 44035, kStrModified = 44036, kStrAccessed = 44037, kStrPermissions = 44038,
    kStrOwner = 44039, kStrAttributes = 44040, kStrReadOnly = 44041, kStrHidden = 44042, kStrOk = 44043,
    kStrFolder = 44044, kStrCounts = 44045, kStrSizeBytes = 44046, kStrItems = 44047, kStrCounting = 44048,
    kStrMixedTypes = 44049,
};

constexpr const char* kDateFormat = "yyyy/MM/dd hh:mm:ss";

QString sizeText(uint64_t bytes)
{
    QLocale locale;
    return UiString(kStrSizeBytes).arg(locale.formattedDataSize(qint64(bytes)), locale.toString(qulonglong(bytes)));
}

QString permissionText(mode_t mode)
{
    QString text;
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        text += (mode & (0400 >> i)) ? QChar(letters[i]) : QChar('-');
    return text;
}

QString ownerText(uid_t uid, gid_t gid)
{
    const passwd* user = getpwuid(uid);
    const group* grp = getgrgid(gid);
    return QString("%1:%2").arg(user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid),
                                grp ? QString::fromLocal8Bit(grp->gr_name) : QString::number(gid));
}

QString dateText(const struct timespec& ts)
{
    return QDateTime::fromSecsSinceEpoch(ts.tv_sec).toString(kDateFormat);
}

QString displayFolder(const std::string& windowsPath)
{
    const size_t slash = windowsPath.find_last_of('\\', windowsPath.size() > 1 ? windowsPath.size() - 2 : 0);
    return QString::fromStdString(slash == std::string::npos ? windowsPath : windowsPath.substr(0, slash + 1));
}

} // namespace

bool TPropertiesForm::ShowFor(QWidget* owner, const std::vector<std::string>& paths)
{
    auto* form = new TPropertiesForm(owner, paths);
    if (form->m_native.empty()) {
        delete form;
        return false;
    }
    form->show();
    return true;
}

TPropertiesForm::TPropertiesForm(QWidget* owner, const std::vector<std::string>& paths) : QDialog(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    std::vector<std::string> windows;
    for (const std::string& path : paths) {
        const std::string native = AnyNativePath(path);
        if (!native.empty() && FileSystemFor(native).exists(native)) {
            m_native.push_back(native);
            windows.push_back(path);
        }
    }
    if (m_native.empty())
        return;

    auto* layout = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    auto* icon = new QLabel(this);
    QFileIconProvider icons;
    const QFileInfo first(QString::fromStdString(m_native.front()));
    icon->setPixmap(icons.icon(first).pixmap(32, 32));
    header->addWidget(icon);
    // The name is the program's form of it: Qt would turn bytes that are not UTF-8 into
    // replacement characters.
    const QString firstName = QString::fromStdString(ProgramName(NativeBaseName(m_native.front())));
    const QString name = m_native.size() == 1 ? firstName.isEmpty() ? QString::fromStdString(windows.front()) : firstName
                                              : UiString(kStrItems).arg(m_native.size());
    auto* nameLabel = new QLabel(name, this);
    nameLabel->setTextFormat(Qt::PlainText);
    header->addWidget(nameLabel, 1);
    layout->addLayout(header);
    setWindowTitle(UiString(kStrTitle).arg(name));

    m_form = new QFormLayout;
    layout->addLayout(m_form);

    QMimeDatabase mimes;
    QString type;
    for (const std::string& native : m_native) {
        FileStatus st;
        const bool folder = FileSystemFor(native).status(native, &st) == 0 && st.isFolder();
        const QString one = folder ? UiString(kStrFolder)
                                   : mimes.mimeTypeForFile(QString::fromStdString(ProgramName(NativeBaseName(native))),
                                                           QMimeDatabase::MatchExtension).comment();
        m_hasFolders = m_hasFolders || folder;
        type = type.isEmpty() || type == one ? one : UiString(kStrMixedTypes);
    }
    addRow(kStrType, type);
    addRow(kStrLocation, displayFolder(windows.front()));
    addRow(kStrSize, m_hasFolders ? UiString(kStrCounting) : QString());
    if (m_hasFolders)
        addRow(kStrContains, UiString(kStrCounting));

    if (m_native.size() == 1) {
        // A share's entry has no birth time to ask for; its other times come with its stat.
        struct statx sx;
        if (!IsSmbNative(m_native.front())
            && statx(AT_FDCWD, m_native.front().c_str(), AT_SYMLINK_NOFOLLOW, STATX_ALL, &sx) == 0) {
            if (sx.stx_mask & STATX_BTIME)
                addRow(kStrCreated, QDateTime::fromSecsSinceEpoch(sx.stx_btime.tv_sec).toString(kDateFormat));
        }
        FileStatus st;
        if (FileSystemFor(m_native.front()).status(m_native.front(), &st) == 0) {
            addRow(kStrModified, dateText(st.modified));
            addRow(kStrAccessed, dateText(st.accessed));
            addRow(kStrPermissions, permissionText(st.mode));
            addRow(kStrOwner, ownerText(st.owner, st.group));
            auto* attributes = new QHBoxLayout;
            auto* readOnly = new QCheckBox(UiString(kStrReadOnly), this);
            readOnly->setChecked(IsSmbNative(m_native.front()) ? !(st.mode & S_IWUSR)
                                                                : access(m_native.front().c_str(), W_OK) != 0);
            readOnly->setEnabled(false);
            auto* hidden = new QCheckBox(UiString(kStrHidden), this);
            hidden->setChecked(firstName.startsWith('.'));
            hidden->setEnabled(false);
            attributes->addWidget(readOnly);
            attributes->addWidget(hidden);
            m_form->addRow(UiString(kStrAttributes), attributes);
        }
    }

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(UiString(kStrOk), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);

    if (!m_hasFolders) {
        uint64_t bytes = 0;
        for (const std::string& native : m_native) {
            FileStatus st;
            if (FileSystemFor(native).status(native, &st) == 0 && st.isFile())
                bytes += st.size;
        }
        showTotals(bytes, m_native.size(), 0, true);
        return;
    }
    auto* sizer = new TObjFolderSize(m_native);
    sizer->SetReceiver(this);
    sizer->OnProgress = [this](TObjFolderSize* s) { showTotals(s->Bytes, s->Files, s->Folders, false); };
    sizer->OnTerminate = [this](TWorkerThread* s) {
        auto* done = static_cast<TObjFolderSize*>(s);
        showTotals(done->Bytes, done->Files, done->Folders, true);
        m_sizer = nullptr;
    };
    m_sizer = sizer;
    sizer->Start();
}

TPropertiesForm::~TPropertiesForm()
{
    if (m_sizer)
        m_sizer->Terminate();
}

void TPropertiesForm::addRow(int captionNumber, const QString& text)
{
    auto* label = new QLabel(text, this);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_form->addRow(UiString(captionNumber), label);
    m_fields.emplace_back(captionNumber, label);
}

QString TPropertiesForm::FieldText(int captionNumber) const
{
    for (const auto& [number, label] : m_fields)
        if (number == captionNumber)
            return label->text();
    return {};
}

void TPropertiesForm::showTotals(uint64_t bytes, uint64_t files, uint64_t folders, bool final)
{
    for (auto& [number, label] : m_fields) {
        if (number == kStrSize)
            label->setText(sizeText(bytes) + (final ? QString() : " " + UiString(kStrCounting)));
        else if (number == kStrContains)
            label->setText(UiString(kStrCounts).arg(files).arg(folders));
    }
}
