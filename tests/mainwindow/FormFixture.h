#pragma once
#include "app/Application.h"
#include "app/SetupInfo.h"
#include "mainwindow/TMainForm.h"
#include "support/TempConfig.h"

#include <QApplication>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

// The real main window, shown offscreen over a private registry and program folder, with
// no automatic expansion; its errors are collected instead of shown.
class FormFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetupInfo = TSetupInfo();
        PrepareProgramFolders(SetupInfo);
        LoadSetupInfo(SetupInfo);
        SetupInfo.AutoExpand = false;
        form = std::make_unique<TMainForm>();
        form->ShowError = [this](const QString& text) { errors << text; };
        form->show();
        QApplication::processEvents();
    }
    void TearDown() override { form.reset(); }

    TempConfig config;
    std::unique_ptr<TMainForm> form;
    QStringList errors;
};
