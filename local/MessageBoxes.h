#pragma once
#include <QString>

class QWidget;

// The three message boxes: all stay on top of their owner.
enum MessageKind : int {
    MsgError = 0,        // caption 32002 "錯誤", OK
    MsgInformation = 1,  // caption 32001 "資訊", OK
    MsgQuestion = 2,     // caption 32000 "詢問", Yes/No
};

enum MessageAnswer : int { IdOk = 1, IdYes = 6, IdNo = 7 };

/// Shows `text` in a box of `kind`; returns IdOk, IdYes or IdNo.
int ShowMessageText(QWidget* owner, const QString& text, int kind);
/// Loads string `number` and shows it.
int ShowMessageId(QWidget* owner, int number, int kind);
/// Shows an error box for an Exception message.
inline int ShowErrorText(QWidget* owner, const QString& text) { return ShowMessageText(owner, text, MsgError); }
