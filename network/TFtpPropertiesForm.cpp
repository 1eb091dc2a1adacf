#include "network/TFtpPropertiesForm.h"

#include "network/FtpListing.h"
#include "platform/DateTime.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"

#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QVBoxLayout>

namespace {

// The captions the local properties window uses, and the few only a site has.
enum : int {
    kStrTitle = 44030, kStrType = 44031, kStrLocation = 44032, kStrSize = 44033, kStrModified = 44036,
    kStrPermissions = 44038, kStrOwner = 44039, kStrOk = 44043, kStrFolder = 44044, kStrSizeBytes = 44046,
    kStrItems = 44047, kStrMixedTypes = 44049, kStrSite = 44090, kStrFile = 44091, kStrNotListed = 44092,
};

QString sizeText(uint64_t bytes)
{
    QLocale locale;
    return UiString(kStrSizeBytes).arg(locale.formattedDataSize(qint64(bytes)), locale.toString(qulonglong(bytes)));
}

QString typeText(const TFtpItemFacts& item)
{
    if (item.folder)
        return UiString(kStrFolder);
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(item.name, QMimeDatabase::MatchExtension);
    return type.isDefault() ? UiString(kStrFile) : type.comment();
}

QString givenOr(const QString& text)
{
    return text.isEmpty() ? UiString(kStrNotListed) : text;
}

} // namespace

TFtpItemFacts FtpItemFactsOf(const FtpEntry& entry)
{
    TFtpItemFacts facts;
    facts.name = QString::fromStdString(entry.name);
    facts.folder = entry.folder;
    facts.size = entry.folder ? -1 : entry.size;
    // Local time, as the file list shows the date.
    if (entry.modified != 0)
        facts.modified = QString::fromStdString(DateTimeText(entry.modified));
    facts.permissions = QString::fromStdString(entry.permissions);
    facts.owner = QString::fromStdString(entry.owner);
    if (!entry.group.empty())
        facts.owner += (facts.owner.isEmpty() ? QString() : QStringLiteral(":")) + QString::fromStdString(entry.group);
    return facts;
}

TFtpPropertiesForm::TFtpPropertiesForm(QWidget* owner, const QString& site, const QString& folder,
                                       const std::vector<TFtpItemFacts>& items)
    : QDialog(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    auto* icon = new QLabel(this);
    const bool oneFolder = items.size() == 1 && items.front().folder;
    QFileIconProvider icons;
    icon->setPixmap(icons.icon(oneFolder ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File)
                        .pixmap(32, 32));
    header->addWidget(icon);
    const QString name = items.size() == 1 ? items.front().name : UiString(kStrItems).arg(items.size());
    m_name = new QLabel(name, this);
    m_name->setTextFormat(Qt::PlainText);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    header->addWidget(m_name, 1);
    layout->addLayout(header);
    setWindowTitle(UiString(kStrTitle).arg(name));

    m_form = new QFormLayout;
    layout->addLayout(m_form);
    QString type;
    uint64_t bytes = 0;
    bool sized = false;
    for (const TFtpItemFacts& item : items) {
        const QString one = typeText(item);
        type = type.isEmpty() || type == one ? one : UiString(kStrMixedTypes);
        if (item.size >= 0) {
            bytes += uint64_t(item.size);
            sized = true;
        }
    }
    addRow(kStrSite, site);
    addRow(kStrLocation, folder);
    addRow(kStrType, type);
    addRow(kStrSize, sized ? sizeText(bytes) : UiString(kStrNotListed));
    if (items.size() == 1) {
        const TFtpItemFacts& item = items.front();
        addRow(kStrModified, givenOr(item.modified));
        addRow(kStrPermissions, givenOr(item.permissions));
        addRow(kStrOwner, givenOr(item.owner));
    }

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(UiString(kStrOk), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

void TFtpPropertiesForm::addRow(int captionNumber, const QString& text)
{
    auto* label = new QLabel(text, this);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_form->addRow(UiString(captionNumber), label);
    m_fields.emplace_back(captionNumber, label);
}

QString TFtpPropertiesForm::FieldText(int captionNumber) const
{
    for (const auto& [number, label] : m_fields)
        if (number == captionNumber)
            return label->text();
    return {};
}

QString TFtpPropertiesForm::NameText() const
{
    return m_name->text();
}
