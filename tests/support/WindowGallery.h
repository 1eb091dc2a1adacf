#pragma once
#include "app/TSetupForm.h"
#include "local/TAboutForm.h"
#include "local/TExtendToolForm.h"
#include "local/TFileOperationDialog.h"
#include "local/TProcessForm.h"
#include "local/TPropertiesForm.h"
#include "local/TThreadForm.h"
#include "network/TCrawlForm.h"
#include "network/TFTPEnumForm.h"
#include "network/TFtpOptionsForm.h"
#include "network/TNetEnumForm.h"
#include "network/TPassForm.h"
#include "network/TPassManForm.h"
#include "platform/DriveMap.h"
#include "resources/StringTable.h"
#include "store/NodeTree.h"
#include "store/StoreFolder.h"
#include "store/TContentForm.h"
#include "store/TEditForm.h"
#include "store/TPortForm.h"
#include "support/TempConfig.h"
#include "tools/ordhune/OrdhuneWizard.h"
#include "tools/pallisk/PalliskWindow.h"
#include "tools/quellor/QuellorWindow.h"

#include <QApplication>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Every window of the program and its companions, made as the program makes them, over a
// registry and program folder of their own, a cache folder, a file to describe and a tree
// with one node of each stored kind. All names are ASCII, so any Han character in a window
// shown in English is a caption it forgot to translate.
class WindowGallery {
public:
    WindowGallery()
    {
        std::filesystem::create_directories(m_home.path("Cache"));
        m_cache = m_home.win("Cache");
        std::ofstream(m_home.path("notes.txt")) << "some text";
        m_file = WindowsPath(m_home.path("notes.txt"));
    }
    ~WindowGallery()
    {
        m_window.reset();
        for (int i = 0; i < m_tree.topLevelItemCount(); ++i)
            FreeNodeTree(m_tree.topLevelItem(i));
    }

    static std::vector<std::string> Names()
    {
        return {"FtpSite",      "FtpOptions",   "Password",    "PasswordManager", "Expansion",   "Crawl",
                "TaskList",     "Busy",         "FileOperation", "Properties",    "About",       "ExternalTools",
                "Options",      "EditComputer", "EditFtp",     "EditBookmark",    "NodeContent", "CacheWizard",
                "CacheSearch",  "Collector",    "SetupWizard"};
    }

    /// The window of that name, shown; null for a name the gallery does not know.
    QWidget* Open(const std::string& name)
    {
        const std::map<std::string, std::function<QWidget*()>> windows = {
            {"FtpSite", [] { return new TFTPEnumForm; }},
            {"FtpOptions", [] { return new TFtpOptionsForm; }},
            {"Password", [] { return new TPassForm; }},
            {"PasswordManager", [] { return new TPassManForm; }},
            {"Expansion", [] { return new TNetEnumForm; }},
            {"Crawl", [] { return new TCrawlForm(QStringLiteral("/bin/true"), {}); }},
            {"TaskList", [] { return new TThreadForm; }},
            {"Busy",
             [] {
                 // As the rebuild of the name table shows it.
                 auto* form = new TProcessForm;
                 form->setWindowTitle(QString::fromStdString(LoadStr(33050)));
                 form->setText(QString::fromStdString(LoadStr(33051)));
                 return form;
             }},
            {"FileOperation", [] { return new TFileOperationDialog(nullptr, FO_COPY, QString(), false); }},
            {"Properties", [this] { return new TPropertiesForm(nullptr, {m_file}); }},
            {"About", [] { return new TAboutForm; }},
            {"ExternalTools", [] { return new TExtendToolForm; }},
            {"Options", [] { return new TSetupForm(nullptr, nullptr, nullptr); }},
            {"EditComputer", [this] { return editPage(TEditForm::NetPage, node(ExpandedRoot, Computer)); }},
            {"EditFtp", [this] { return editPage(TEditForm::FtpPage, node(FtpRoot, Computer)); }},
            {"EditBookmark", [this] { return editPage(TEditForm::BookmarkPage, node(BookmarkRoot, Bookmark | Domain)); }},
            {"NodeContent",
             [this] {
                 auto* form = new TContentForm;
                 form->prepare(node(ExpandedRoot, Computer | Sys | Update | Share | Drive | Folder | Container));
                 return form;
             }},
            {"CacheWizard", [this] { return new TPortForm(nullptr, m_cache); }},
            {"CacheSearch", [this] { return new PalliskWindow(m_cache); }},
            {"Collector", [this] { return new QuellorWindow(m_cache); }},
            {"SetupWizard", [this] { return new OrdhuneWizard(m_cache, QString::fromStdString(m_home.path("programs"))); }},
        };
        const auto it = windows.find(name);
        if (it == windows.end())
            return nullptr;
        m_window.reset(it->second());
        m_window->show();
        QApplication::processEvents();
        return m_window.get();
    }

private:
    QTreeWidgetItem* node(uint8_t rootKind, uint16_t attributes)
    {
        auto* item = new QTreeWidgetItem(&m_tree);
        auto* data = new TNodeData;
        data->Caption = data->Key = "SERVER1";
        data->Host = "192.168.1.20";
        data->RootKind = rootKind;
        data->NodeAttributes = attributes;
        data->State = Idle | Expanded;
        data->StoreDir = m_cache;
        data->Created = 45000.5;
        ShowNodeData(data, item);
        return item;
    }

    QWidget* editPage(int page, QTreeWidgetItem* item)
    {
        auto* form = new TEditForm;
        form->preparePage(page, item);
        return form;
    }

    TempConfig m_config;
    StoreFolder m_home;
    std::string m_cache;
    std::string m_file;
    QTreeWidget m_tree;
    std::unique_ptr<QWidget> m_window;
};
