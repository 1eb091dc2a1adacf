#pragma once
#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "local/ExtendTools.h"

class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// "延伸工具": the list of external tools with the caption, program and parameters of the
// one selected. It reads the registry when it is created and writes the whole list back
// whenever it closes; in between every change is in memory only.
class TExtendToolForm : public QDialog {
    Q_OBJECT
public:
    /// FormCreate: reads the tools (none when the key cannot be opened).
    explicit TExtendToolForm(QWidget* parent = nullptr);

    /// The tools as they are now, in list order.
    const std::vector<TExtendTool>& Tools() const { return m_tools; }
    /// The tool's captions, for the menus of the main window.
    std::vector<std::string> Captions() const;

    /// Error boxes by string number; replaceable for tests.
    std::function<void(QWidget* owner, int number)> ShowError;
    /// Asks for a program file, empty when cancelled; replaceable for tests.
    std::function<QString(QWidget* owner)> AskProgram;

    QListWidget* ToolCheckListBox;
    QGroupBox* GroupBox1;
    QLineEdit* CaptionEdit;
    QLineEdit* ProgramEdit;
    QLineEdit* ParamEdit;
    QPushButton* BrowseBitBtn;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* BitBtn4;

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ToolCheckListBoxClick();
    void ToolCheckListBoxClickCheck(class QListWidgetItem* line);
    void CaptionEditEnter();
    void CaptionEditExit();
    void ProgramEditExit();
    void ParamEditExit();
    void BrowseBitBtnClick();
    void BitBtn1Click();
    void BitBtn2Click();
    /// FormClose: every value of the key replaced by the list.
    void FormClose();
    void addLine(const TExtendTool& tool);
    void selectLine(int row);
    bool captionTaken(const QString& caption, int except) const;

    std::vector<TExtendTool> m_tools;
    int m_current = -1;
    QString m_enteredCaption;
    bool m_filling = false;
};
