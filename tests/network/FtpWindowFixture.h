#pragma once
// The main window over a drive of its own with an FTP site among the bookmarks, served by
// pyftpdlib on loopback from the drive's "ftproot" folder (three files and a folder).
#include "mainwindow/BrowseFixture.h"
#include "network/FtpServers.h"
#include "network/TFTPEnumForm.h"
#include "store/CacheListing.h"

#include <array>
#include <filesystem>

class FtpWindowFixture : public BrowseFixture {
protected:
    void SetUp() override
    {
        BrowseFixture::SetUp();
        makeFolder("ftproot/docs");
        for (const char* name : {"a.txt", "b.txt", "中文.txt"})
            m_drive.writeFile(std::string("ftproot/") + name, "text");
        ASSERT_TRUE(m_server.startPyftpd(m_drive.path("ftproot"), "user", "secret"));
        openForm();
        m_form->ShowInformationText = [this](const QString& text) { m_informationTexts << text; };
        m_form->AskQuestionText = [this](const QString& text) {
            m_questionTexts << text;
            return m_answer == IdYes;
        };
        // A site among the bookmarks, whose root counts as loaded so opening it keeps the site.
        GetNodeData(m_form->bookmarkRoot())->State |= Expanded;
        m_form->bookmarkRoot()->setExpanded(true);
        m_site = new QTreeWidgetItem(m_form->bookmarkRoot());
        auto* data = new TNodeData;
        data->Caption = "SITE";
        data->RootKind = FtpRoot;
        data->NodeAttributes = Computer | Folder;
        data->Host = "127.0.0.1";
        data->StoreDir = SetupInfo.CachePath;
        data->Key = "SITE";
        data->State = Idle;
        ShowNodeData(data, m_site);
        AddPlaceholderChild(m_site);
        FtpSiteBlock block;
        block.Host = "127.0.0.1";
        block.Port = m_server.port();
        block.User = "user";
        block.Password = "secret";
        std::array<unsigned char, FtpSiteBlockSize> bytes{};
        EncodeFtpSiteBlock(block, bytes.data());
        WriteNodeAttachment(*data, bytes.data(), bytes.size());
    }
    void TearDown() override
    {
        if (TFTPEnumForm* window = m_form ? m_form->FTPEnumForm.data() : nullptr) {
            window->AskQuestion = [](const QString&) { return true; };
            window->close();
        }
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        BrowseFixture::TearDown();
    }

    /// Shows the site and expands it, which connects and lists its root into the list.
    TFTPEnumForm* connectSite()
    {
        m_form->FolderTreeView->setCurrentItem(m_site);
        m_site->setExpanded(true);
        TFTPEnumForm* window = m_form->FTPEnumForm;
        if (window) {
            window->ShowError = [this](const QString& text) { m_errors << text; };
            window->AskQuestion = [this](const QString& text) {
                m_questionTexts << text;
                return m_answer == IdYes;
            };
        }
        waitUntil([this] { return listCaptions().contains(QStringLiteral("a.txt")); });
        return window;
    }
    /// Selects list items as a click in the list does, which gives the list the focus.
    void select(const QStringList& names)
    {
        QApplication::setActiveWindow(m_form.get());
        m_form->fileListView()->currentView()->setFocus();
        TListModel* model = m_form->fileListView()->model();
        QItemSelectionModel* selection = m_form->fileListView()->selectionModel();
        selection->clearSelection();
        for (int row = 0; row < model->rowCount(); ++row)
            if (names.contains(model->item(row).Caption))
                selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        // The edit entries follow the selection once the window has had its events.
        QApplication::processEvents();
    }
    bool onServer(const char* name) const { return std::filesystem::exists(m_drive.path(std::string("ftproot/") + name)); }

    FtpTestServer m_server;
    QTreeWidgetItem* m_site = nullptr;
    QStringList m_informationTexts, m_questionTexts;
};

