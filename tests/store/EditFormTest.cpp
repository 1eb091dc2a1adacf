#include <gtest/gtest.h>

#include "store/NodeTree.h"
#include "store/TEditForm.h"
#include "store/DialogDriver.h"
#include "ui/TIPEdit.h"

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>

namespace {

class EditFormTest : public ::testing::Test {
protected:
    EditFormTest()
    {
        form.ShowError = [this](const QString& text) { errors << text; };
    }
    void run(int page, std::function<void(TEditForm&)> inside, QTreeWidgetItem* node = nullptr)
    {
        ModalDriver<TEditForm> driver(std::move(inside));
        form.ShowPage(page, node);
    }
    TEditForm form;
    QStringList errors;
};

TEST_F(EditFormTest, EachPageComesAloneUnderItsCaptionWithItsOwnDefaultButton)
{
    const char* captions[] = {"編輯擴大網路芳鄰節點", "編輯FTP節點", "編輯書籤節點"};
    QPushButton* okButtons[] = {form.NetOKButton, form.FTPOKButton, form.BookmarkOKButton};
    for (int page = 0; page < 3; ++page) {
        QList<bool> visible;
        run(page, [&](TEditForm& shown) {
            EXPECT_EQ(shown.PageControl->currentIndex(), page);
            for (int i = 0; i < shown.PageControl->count(); ++i)
                visible << shown.PageControl->widget(i)->isVisible();
        });
        EXPECT_EQ(visible, (QList<bool>{page == 0, page == 1, page == 2}));
        EXPECT_EQ(form.windowTitle(), QString::fromUtf8(captions[page]));
        for (int other = 0; other < 3; ++other)
            EXPECT_EQ(okButtons[other]->isDefault(), other == page) << page << other;
        EXPECT_FALSE(form.Accepted);
    }
}

TEST_F(EditFormTest, ControlsAreLoadedFromTheMembersWhenShown)
{
    form.NetName = "PC1";
    form.NetAddress = "192.168.10.254";
    form.NetCaption = "會計室";
    run(TEditForm::NetPage, [](TEditForm& shown) {
        EXPECT_EQ(shown.NetNameEdit->text(), QStringLiteral("PC1"));
        EXPECT_EQ(shown.NetIPEdit->value(), 0xC0A80AFEu);
        // Loading the name copies nothing: the title keeps its own text.
        EXPECT_EQ(shown.NetCaptionEdit->text(), QStringLiteral("會計室"));
        EXPECT_EQ(shown.FTPUserNameEdit->text(), QStringLiteral("anonymous"));
        EXPECT_EQ(shown.FTPPortEdit->text(), QStringLiteral("21"));
        EXPECT_EQ(shown.FTPProxyPortEdit->text(), QStringLiteral("21"));
        EXPECT_EQ(shown.FTPPasswordEdit->echoMode(), QLineEdit::Password);
    });
}

TEST_F(EditFormTest, NetPageRefusesAnEmptyTitleThenAnEmptyNameAndStaysOpen)
{
    bool openAfterCaption = false;
    bool openAfterName = false;
    QWidget* focusAfterName = nullptr;
    run(TEditForm::NetPage, [&](TEditForm& shown) {
        shown.NetOKButton->click();
        openAfterCaption = shown.isVisible();
        shown.NetCaptionEdit->setText(QStringLiteral("標題"));
        shown.NetOKButton->click();
        openAfterName = shown.isVisible();
        focusAfterName = shown.focusWidget();
    });
    EXPECT_EQ(errors, (QStringList{"標題不能空白", "電腦名稱不能空白"}));
    EXPECT_TRUE(openAfterCaption);
    EXPECT_TRUE(openAfterName);
    EXPECT_EQ(focusAfterName, form.NetNameEdit);
    EXPECT_FALSE(form.Accepted);
}

TEST_F(EditFormTest, ComputerNameWithAPathSeparatorIsRefused)
{
    // "\\PC\SHARE\" would name a share, not a computer.
    for (const char* name : {"PC\\SHARE", "PC/SHARE", "\\\\PC"}) {
        TEditForm fresh;
        QStringList shownErrors;
        fresh.ShowError = [&](const QString& text) { shownErrors << text; };
        fresh.NetCaption = "標題";
        fresh.NetName = name;
        ModalDriver<TEditForm> driver([](TEditForm& shown) { shown.NetOKButton->click(); });
        fresh.ShowPage(TEditForm::NetPage, nullptr);
        EXPECT_FALSE(fresh.Accepted) << name;
        EXPECT_EQ(shownErrors, QStringList{"電腦名稱不能含有 \\ 或 /"}) << name;
    }
}

TEST_F(EditFormTest, NetPageOkTakesNameTitleAndDottedAddress)
{
    run(TEditForm::NetPage, [](TEditForm& shown) {
        typeInto(shown.NetNameEdit, QStringLiteral("檔案伺服器"));
        shown.NetIPEdit->setValue(0x0A000105u);
        shown.NetOKButton->click();
    });
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(form.Accepted);
    EXPECT_EQ(form.NetName, "檔案伺服器");
    EXPECT_EQ(form.NetCaption, "檔案伺服器");
    EXPECT_EQ(form.NetAddress, "10.0.1.5");
}

TEST_F(EditFormTest, TypingTheComputerNameOverwritesAnyTitleTypedBefore)
{
    form.NetCaption = "舊標題";
    run(TEditForm::NetPage, [](TEditForm& shown) {
        typeInto(shown.NetCaptionEdit, QStringLiteral("自己打的"));
        typeInto(shown.NetNameEdit, QStringLiteral("PC2"));
        EXPECT_EQ(shown.NetCaptionEdit->text(), QStringLiteral("PC2"));
        typeInto(shown.NetNameEdit, QStringLiteral("號"));
        EXPECT_EQ(shown.NetCaptionEdit->text(), QStringLiteral("PC2號"));
        shown.NetOKButton->click();
    });
    EXPECT_TRUE(form.Accepted);
    EXPECT_EQ(form.NetCaption, "PC2號");
}

TEST_F(EditFormTest, FtpPortsMustBeDecimalIntegers)
{
    struct Case {
        const char* port;
        const char* proxyPort;
        bool accepted;
    };
    const Case cases[] = {
        {"21a", "21", false}, {"", "21", false},   {"21", "x", false},  {" 21", "21", false},
        {"0x15", "21", false}, {"99999999999", "21", false}, {"0", "21", true}, {"2121", "8080", true},
    };
    for (const Case& test : cases) {
        TEditForm fresh;
        QStringList shownErrors;
        fresh.ShowError = [&](const QString& text) { shownErrors << text; };
        fresh.FtpCaption = "站台";
        ModalDriver<TEditForm> driver([&](TEditForm& shown) {
            shown.FTPPortEdit->setText(QString::fromLatin1(test.port));
            shown.FTPProxyPortEdit->setText(QString::fromLatin1(test.proxyPort));
            shown.FTPOKButton->click();
        });
        fresh.ShowPage(TEditForm::FtpPage, nullptr);
        EXPECT_EQ(fresh.Accepted, test.accepted) << test.port << " " << test.proxyPort;
        if (test.accepted) {
            EXPECT_TRUE(shownErrors.isEmpty());
            EXPECT_EQ(fresh.FtpPort, QString::fromLatin1(test.port).toInt());
            EXPECT_EQ(fresh.FtpProxyPort, QString::fromLatin1(test.proxyPort).toInt());
        } else {
            EXPECT_EQ(shownErrors, QStringList{"只允許數字型態"}) << test.port << " " << test.proxyPort;
            EXPECT_EQ(fresh.FtpPort, 21);
        }
    }
}

TEST_F(EditFormTest, FtpPageNeedsOnlyATitleAndTakesTheRestAsTyped)
{
    run(TEditForm::FtpPage, [](TEditForm& shown) {
        shown.FTPOKButton->click();
        shown.FTPCaptionEdit->setText(QStringLiteral("鏡像站"));
        shown.FTPHostEdit->clear();
        shown.FTPUserNameEdit->clear();
        shown.FTPPasswordEdit->setText(QStringLiteral("p@ss"));
        shown.FTPProxyEdit->setText(QStringLiteral("proxy.lan"));
        shown.FTPOKButton->click();
    });
    EXPECT_EQ(errors, QStringList{"標題不能空白"});
    EXPECT_TRUE(form.Accepted);
    EXPECT_EQ(form.FtpCaption, "鏡像站");
    EXPECT_EQ(form.FtpHost, "");
    EXPECT_EQ(form.FtpUser, "");
    EXPECT_EQ(form.FtpPassword, "p@ss");
    EXPECT_EQ(form.FtpProxy, "proxy.lan");
}

TEST_F(EditFormTest, BookmarkPageTakesTheNodeAndAcceptsAnyCaption)
{
    QTreeWidget tree;
    auto* node = new QTreeWidgetItem(&tree, QStringList{QStringLiteral("我的書籤")});
    auto* data = new TNodeData;
    data->NodeAttributes = Bookmark | Domain;
    data->RootKind = BookmarkRoot;
    data->State = Idle;
    BindNodeData(data, node);

    form.BookmarkCaption = "not this";
    QString memo;
    QString shownCaption;
    run(TEditForm::BookmarkPage, [&](TEditForm& shown) {
        memo = shown.BookmarkNodeMemo->toPlainText();
        shownCaption = shown.BookmarkCaptionEdit->text();
        shown.BookmarkCaptionEdit->clear();
        shown.BookmarkOKButton->click();
    }, node);
    EXPECT_EQ(shownCaption, QStringLiteral("我的書籤"));
    EXPECT_TRUE(memo.startsWith(QStringLiteral("名稱:我的書籤\n子節點數:未知\n屬性:網域 書籤 \n")));
    EXPECT_TRUE(form.Accepted);
    EXPECT_EQ(form.BookmarkCaption, "");
    EXPECT_TRUE(errors.isEmpty());
    FreeNodeTree(node);
}

TEST_F(EditFormTest, CancelLeavesTheDialogNotAccepted)
{
    QPushButton* TEditForm::*cancels[] = {&TEditForm::NetCancelButton, &TEditForm::FTPCancelButton,
                                          &TEditForm::BookmarkCancelButton};
    for (int page = 0; page < 3; ++page) {
        TEditForm fresh;
        fresh.NetCaption = fresh.NetName = fresh.FtpCaption = "x";
        bool closed = false;
        ModalDriver<TEditForm> driver([&](TEditForm& shown) {
            (shown.*cancels[page])->click();
            closed = !shown.isVisible();
        });
        fresh.ShowPage(page, nullptr);
        EXPECT_TRUE(closed) << page;
        EXPECT_FALSE(fresh.Accepted) << page;
    }
}

} // namespace
