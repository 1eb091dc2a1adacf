#pragma once
#include "store/NodeTree.h"
#include "store/TNodeData.h"

#include <QString>
#include <QTreeWidget>
#include <QTreeWidgetItem>

// A site node of a test's own FTP server on loopback, as the tree holds one: the site window
// reads its host, store folder and key from it.
inline QTreeWidgetItem* AddLoopbackSiteNode(QTreeWidget& view)
{
    auto* site = new QTreeWidgetItem(&view);
    site->setText(0, QStringLiteral("站台"));
    auto* data = new TNodeData;
    data->RootKind = FtpRoot;
    data->NodeAttributes = Computer | Folder;
    data->Host = "127.0.0.1";
    data->StoreDir = "D:\\store\\";
    data->Key = "SITE";
    data->State = Idle;
    BindNodeData(data, site);
    return site;
}
