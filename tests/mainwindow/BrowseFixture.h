#pragma once
#include "app/Application.h"
#include "app/SetupInfo.h"
#include "local/MessageBoxes.h"
#include "local/TObjShell.h"
#include "mainwindow/TMainForm.h"
#include "network/TNetEnumForm.h"
#include "platform/DriveMap.h"
#include "store/NodeTree.h"
#include "support/ScopedEnvironment.h"
#include "support/TempConfig.h"
#include "support/TestDrives.h"
#include "support/TempFolder.h"
#include "ui/TListView.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTreeWidget>

#include <filesystem>
#include <functional>
#include <memory>

// A main window over a drive D: made in a temporary folder (C: is the root folder), with
// the user folders of the desktop under a private home. Errors, information and questions
// are recorded instead of shown.
class BrowseFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("HOME", m_drive.path("home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_drive.path("xdg").c_str(), 1);
        makeFolder("home/Desktop");
        makeFolder("home/Desktop/inside");
        makeFolder("xdg");
        m_drive.writeFile("xdg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
        const std::vector<DriveInfo> drives = MapTestDrives(m_drive.path(), DriveFixed);
        TMainForm::DriveSource = [drives] { return drives; };
        SetupInfo = TSetupInfo();
        PrepareProgramFolders(SetupInfo);
        LoadSetupInfo(SetupInfo);
        SetupInfo.StartDirectory = "D:\\";
    }

    void TearDown() override
    {
        m_form.reset();
        TMainForm::DriveSource = nullptr;
        RefreshDriveMap();
    }

    void makeFolder(const std::string& name) const { std::filesystem::create_directories(m_drive.path(name)); }

    TMainForm& openForm()
    {
        m_form = std::make_unique<TMainForm>();
        m_form->ShowError = [this](const QString& text) { m_errors << text; };
        m_form->ShowInformation = [this](int number) { m_informations << number; };
        m_form->AskQuestion = [this](int number) {
            m_questions << number;
            return m_answer;
        };
        // Expansion windows report into the same lists and never ask for a password.
        m_form->NetEnumFormSetup = [this](TNetEnumForm* window) {
            window->ShowInformation = [this](const QString& text) { m_errors << text; };
            window->ShowError = [this](const QString& text) { m_errors << text; };
            window->AskCredentials = [](const std::string&, std::string&, std::string&, bool&) { return false; };
        };
        FileOperationQuestions& questions = m_form->shell()->Questions;
        questions.showError = [this](QWidget*, const QString& text) { m_shellErrors << text; };
        questions.confirmDelete = [](QWidget*, const std::vector<std::string>&, bool) { return true; };
        questions.askOverwrite = [this](QWidget*, const FileOpEntry&, const FileOpEntry&) {
            ++m_overwriteQuestions;
            return OverwriteAnswer::Cancel;
        };
        QObject::connect(m_form.get(), &TMainForm::listingEnded, m_form.get(),
                         [this](quint64 generation) { m_endedListings << generation; });
        m_form->show();
        QApplication::processEvents();
        return *m_form;
    }

    /// Runs events until the listing of this generation has ended.
    bool waitListingEnded(quint64 generation, int ms = 10000)
    {
        return waitUntil([&] { return m_endedListings.contains(generation); }, ms);
    }

    QTreeWidgetItem* driveD() const
    {
        QTreeWidgetItem* local = m_form->localRoot();
        for (int i = 0; i < local->childCount(); ++i)
            if (GetNodeData(local->child(i))->Host == "D:")
                return local->child(i);
        return nullptr;
    }

    static QTreeWidgetItem* child(QTreeWidgetItem* node, const char* caption)
    {
        for (int i = 0; node && i < node->childCount(); ++i)
            if (node->child(i)->text(0) == QString::fromUtf8(caption))
                return node->child(i);
        return nullptr;
    }

    static QStringList captions(const QTreeWidgetItem* node)
    {
        QStringList texts;
        for (int i = 0; i < node->childCount(); ++i)
            texts << node->child(i)->text(0);
        return texts;
    }

    /// Types `text` into the address box and presses Enter.
    void go(const std::string& text)
    {
        m_form->AddressComboBox->setEditText(QString::fromStdString(text));
        emit m_form->AddressComboBox->activated(0);
    }

    QStringList listCaptions() const
    {
        QStringList texts;
        const TListModel* model = m_form->fileListView()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->item(row).Caption;
        return texts;
    }

    /// The RemoteName of the tree's current node.
    std::string shownFolder() const
    {
        const QTreeWidgetItem* item = m_form->FolderTreeView->currentItem();
        return item ? GetNodeData(item)->RemoteName : std::string();
    }

    /// Runs the event loop until `done` holds or `ms` have passed.
    static bool waitUntil(const std::function<bool()>& done, int ms = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > ms)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    ScopedEnvironment m_environment{"HOME", "XDG_CONFIG_HOME"};
    TempConfig m_config;
    TempFolder m_drive;
    std::unique_ptr<TMainForm> m_form;
    QList<quint64> m_endedListings;
    QStringList m_errors;
    QStringList m_shellErrors;
    int m_overwriteQuestions = 0;
    QList<int> m_informations;
    QList<int> m_questions;
    int m_answer = IdYes;
};
