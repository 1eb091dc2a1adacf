// The main menu. Entries whose features are not built yet are present but disabled.
#include "mainwindow/TMainForm.h"

#include "resources/UiText.h"

#include "network/TPassManForm.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <utility>

QAction* TMainForm::addCommand(QMenu* menu, const char* name, const char* caption, void (TMainForm::*handler)())
{
    auto* action = new QAction(UiText(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    else
        action->setEnabled(false);
    menu->addAction(action);
    return action;
}

QMenu* TMainForm::addViewStyleEntries(QMenu* menu, const char* namePrefix)
{
    static constexpr const char* captions[] = {"大型圖式(&G)", "小型圖式(M)", "清單(&L)", "詳細資料(D)"};
    static constexpr void (TMainForm::*handlers[])() = {&TMainForm::ML1Click, &TMainForm::ML2Click, &TMainForm::ML3Click, &TMainForm::ML4Click};
    auto* group = new QActionGroup(menu);
    for (int style = 0; style < 4; ++style) {
        const std::string name = std::string(namePrefix) + "ML" + std::to_string(style + 1);
        QAction* entry = addCommand(menu, name.c_str(), captions[style], handlers[style]);
        entry->setCheckable(true);
        entry->setProperty("viewStyle", style);
        group->addAction(entry);
    }
    return menu;
}

void TMainForm::buildMainMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    QMenu* file = bar->addMenu(UiText("檔案(&F)"));
    file->setObjectName(QStringLiteral("FileMenu"));
    addCommand(file, "N1", "新資料夾(&N)");
    addCommand(file, "OpenWith", "開啟檔案方式(&H)…", &TMainForm::OpenWithClick);
    addCommand(file, "NewFtpSite", "新增 FTP 站台…", &TMainForm::NewFtpSiteClick);
    addCommand(file, "N3", "刪除(&D)");
    addCommand(file, "R1", "更名(&M)");
    addCommand(file, "C1", "內容(&C)");
    addCommand(file, "N26", "節點(&N)", &TMainForm::N26Click);
    file->addSeparator();
    addCommand(file, "X1", "結束(&X)", &TMainForm::X1Click);

    QMenu* view = bar->addMenu(UiText("檢示(&V)"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    QMenu* toolBar = view->addMenu(UiText("工具列(&T)"));
    toolBar->setObjectName(QStringLiteral("T1"));
    auto* styles = new QActionGroup(this);
    m_F2 = addCommand(toolBar, "F2", "平面按鍵方式(&F)", &TMainForm::F2Click);
    m_N5 = addCommand(toolBar, "N5", "立體按鍵方式(&V)", &TMainForm::N5Click);
    m_N6 = addCommand(toolBar, "N6", "隱藏(&H)", &TMainForm::N6Click);
    for (QAction* entry : {m_F2, m_N5, m_N6}) {
        entry->setCheckable(true);
        styles->addAction(entry);
    }
    toolBar->addSeparator();
    m_N7 = addCommand(toolBar, "N7", "圖式(&G)");
    m_N8 = addCommand(toolBar, "N8", "文字(&T)");
    m_S1 = addCommand(view, "S1", "狀態列(S)");
    m_N10 = addCommand(view, "N10", "位置說明");
    const std::pair<QAction*, void (TMainForm::*)()> toggles[] = {
        {m_N7, &TMainForm::N7Click}, {m_N8, &TMainForm::N8Click}, {m_S1, &TMainForm::S1Click}, {m_N10, &TMainForm::N10Click}};
    for (const auto& [entry, handler] : toggles) {
        entry->setCheckable(true);
        entry->setEnabled(true);
        // The commands flip their marks themselves (the settings are applied through them
        // too), so the mark Qt already flipped for the click is put back first.
        connect(entry, &QAction::triggered, this, [this, entry, handler] {
            entry->setChecked(!entry->isChecked());
            (this->*handler)();
        });
    }
    view->addSeparator();
    QAction* refresh = addCommand(view, "N93", "重新整理", &TMainForm::N93Click);
    refresh->setShortcut(QKeySequence(Qt::Key_F2));
    view->addSeparator();
    addViewStyleEntries(view, "");
    for (int style = 0; style < 4; ++style)
        m_viewStyleEntries[style] = findChild<QAction*>(QStringLiteral("ML%1").arg(style + 1));
    view->addSeparator();
    addCommand(view, "N86", "選項設定...");

    QMenu* edit = bar->addMenu(UiText("編輯(&E)"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    // Undo and the clipboard entries are wired in EditCommands.cpp and enabled there only
    // when they can act.
    addCommand(edit, "U1", "復原(&U)");
    edit->addSeparator();
    addCommand(edit, "T3", "剪下(&T)");
    addCommand(edit, "C2", "複製(&C)");
    addCommand(edit, "P1", "貼上(&P)");
    edit->addSeparator();
    addCommand(edit, "A3", "全選(&A)", &TMainForm::A3Click);
    addCommand(edit, "I1", "反向選取(&I)", &TMainForm::I1Click);

    QMenu* cache = bar->addMenu(UiText("快取"));
    cache->setObjectName(QStringLiteral("CacheMenu"));
    addCommand(cache, "N91", "啟動快取")->setCheckable(true);
    addCommand(cache, "N79", "匯出匯入精靈", &TMainForm::N79Click);
    addCommand(cache, "N89", "重建網芳資料");

    ToolMenuItem1 = bar->addMenu(UiText("工具(&T)"));
    ToolMenuItem1->setObjectName(QStringLiteral("ToolMenuItem1"));
    // Seven fixed entries, separators included; the external tools follow them.
    addCommand(ToolMenuItem1, "ToolMenu", "收集器");
    addCommand(ToolMenuItem1, "N28", "搜尋家");
    addCommand(ToolMenuItem1, "N12", "更新快取");
    ToolMenuItem1->addSeparator();
    addCommand(ToolMenuItem1, "N24", "密碼管理員", &TMainForm::N24Click);
    addCommand(ToolMenuItem1, "M50", "延伸工具");
    ToolMenuItem1->addSeparator();

    QMenu* help = bar->addMenu(UiText("說明(&H)"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    addCommand(help, "T2", "主題(&T)");
    addCommand(help, "N87", "索引");
    help->addSeparator();
    addCommand(help, "A1", "關於(&A)", &TMainForm::A1Click);
}

void TMainForm::N24Click()
{
    ShowPassManForm(this);
}
