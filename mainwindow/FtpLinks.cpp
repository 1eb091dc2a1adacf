// An "ftp://" link opened from outside (a browser, a chat, the command line): the stored
// site of that host, port and user is connected and its folder shown; a site the tree
// does not hold yet is added among the bookmarks first, as the new-site command adds one.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/TImageLists.h"
#include "platform/AddressText.h"
#include "platform/TextCodec.h"
#include "resources/UiText.h"
#include "store/CacheListing.h"
#include "store/NodeTree.h"
#include "store/StoredNodes.h"

#include <QTreeWidget>

#include <array>
#include <sstream>

namespace {

// Bookmark folders nest; deeper than this is a damaged store.
constexpr int kMaxBookmarkDepth = 32;

bool sameSite(const TNodeData& data, const FtpLink& link)
{
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    try {
        ReadNodeAttachment(data, bytes.data(), bytes.size());
    } catch (const std::exception&) {
        return false;  // a site whose block cannot be read is not the one asked for
    }
    const FtpSiteBlock block = DecodeFtpSiteBlock(bytes.data());
    const auto anonymous = [](const std::string& user) { return user.empty() || UpperAscii(user) == "ANONYMOUS"; };
    const bool sameUser = block.User == link.user || (anonymous(block.User) && anonymous(link.user));
    return UpperAscii(block.Host) == UpperAscii(link.host) && block.Port == link.port && sameUser;
}

// The folders of a link's path, "/a/b/" as {"a", "b"}.
std::vector<std::string> folderParts(const std::string& folder)
{
    std::vector<std::string> parts;
    std::istringstream in(folder);
    for (std::string part; std::getline(in, part, '/');)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

} // namespace

QTreeWidgetItem* TMainForm::findFtpSite(QTreeWidgetItem* folder, const FtpLink& link, int depth)
{
    if (!folder || depth > kMaxBookmarkDepth)
        return nullptr;
    FolderTreeViewExpanding(folder);
    for (int i = 0; i < folder->childCount(); ++i) {
        QTreeWidgetItem* child = folder->child(i);
        const TNodeData* data = GetNodeData(child);
        if (!data)
            continue;
        if (data->RootKind == FtpRoot && data->has(Computer) && sameSite(*data, link))
            return child;
        if (data->RootKind == BookmarkRoot && data->has(Domain) && !data->has(Bookmark))
            if (QTreeWidgetItem* found = findFtpSite(child, link, depth + 1))
                return found;
    }
    return nullptr;
}

QTreeWidgetItem* TMainForm::addFtpSiteFor(const FtpLink& link)
{
    const TNodeData* root = m_bookmarkRoot ? GetNodeData(m_bookmarkRoot) : nullptr;
    if (!root)
        return nullptr;
    const std::string caption = link.user.empty() ? link.host : link.user + "@" + link.host;
    TNodeData record = FtpSiteRecord(root->StoreDir + root->Key + "\\", caption, link.host, TImageLists::TreeComputer);
    FtpSiteBlock block;
    block.Host = link.host;
    block.User = link.user;
    block.Port = link.port;
    if (!storeFtpSite(record, block))
        return nullptr;
    RefreshNode(m_bookmarkRoot, true);
    openNode(m_bookmarkRoot);
    for (int i = 0; i < m_bookmarkRoot->childCount(); ++i)
        if (const TNodeData* data = GetNodeData(m_bookmarkRoot->child(i)); data && data->Key == record.Key)
            return m_bookmarkRoot->child(i);
    return nullptr;
}

void TMainForm::OpenFtpLink(const std::string& url)
{
    FtpLink link;
    if (!ParseFtpLink(url, link)) {
        ShowError(UiText("無法開啟的位址 %1").arg(QString::fromStdString(url)));
        return;
    }
    QTreeWidgetItem* node = findFtpSite(m_bookmarkRoot, link, 0);
    if (!node)
        node = addFtpSiteFor(link);
    if (!node)
        return;
    // Connecting lists the site's root; each folder of the path is listed on the way down,
    // as the user would open them. A folder the site does not have stops the walk there.
    openNode(node);
    for (const std::string& part : folderParts(link.folder)) {
        const TNodeData* data = GetNodeData(node);
        if (!data || !data->SiteWindow)
            break;  // the connection failed; the user was told why
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (node->child(i)->text(0) == QString::fromStdString(part))
                next = node->child(i);
        if (!next) {
            ShowError(UiText("站台上找不到資料夾 %1").arg(QString::fromStdString(link.folder)));
            break;
        }
        node = next;
        openNode(node);
    }
    FolderTreeView->scrollToItem(node);
    FolderTreeView->setCurrentItem(node);
}
