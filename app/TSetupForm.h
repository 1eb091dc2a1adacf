#pragma once
#include <QDialog>
#include <QFont>
#include <QPointer>

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "app/SetupInfo.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;
class TColorComboBox;
class TListView;

// "設定": the options dialog over the settings record. It shows the stored settings (it
// reloads them when it opens), applies fonts, colour groups and extension lists to the
// main window as they are changed, saves the whole record on OK, and on Cancel puts back
// the record and every font it changed on screen.
class TSetupForm : public QDialog {
    Q_OBJECT
public:
    /// `list` and `tree` are the main window's, for the changes that show at once.
    TSetupForm(QWidget* parent, TListView* list, QTreeWidget* tree);

    /// True once OK was pressed: the record is saved and the caller applies it.
    bool Confirmed() const { return m_confirmed; }

    /// The font dialog (no style choice); replaceable for tests. Returns false when cancelled.
    std::function<bool(QWidget* owner, QFont& font)> AskFont;
    /// The folder browser titled `title`; empty when cancelled. Replaceable for tests.
    std::function<QString(QWidget* owner, const QString& title, const QString& start)> AskFolder;

    QTabWidget* PageControl;
    QButtonGroup* ToolBarRadioGroup;
    QButtonGroup* ListViewRadioGroup;
    QPushButton* BitBtn3;
    QCheckBox* GlyphCheckBox;
    QCheckBox* TextCheckBox;
    QCheckBox* StatusBarCheckBox;
    QCheckBox* PanelCheckBox;
    QCheckBox* AutoHideCheckBox;
    QCheckBox* AutoScrollCheckBox;
    QCheckBox* CheckBox6;
    QCheckBox* AutoCacheCheckBox;
    QCheckBox* AutoExpandCheckBox;
    QSpinBox* ShellLimitCSpinEdit;
    QLineEdit* StartDirectoryEdit;
    QPushButton* BitBtn4;
    QComboBox* LanguageComboBox;
    QPushButton* BitBtn6;
    QLabel* TreeFontLabel;
    QPushButton* BitBtn5;
    QLabel* ListFontLabel;
    std::array<QCheckBox*, 5> CheckBoxes{};
    std::array<QLineEdit*, 5> Edits{};
    std::array<TColorComboBox*, 5> ColorComboBoxes{};
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* BitBtn7;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    enum FontTag { GeneralFont = 0, TreeFont = 1, ListFont = 2 };

    void FormShow();
    void BitBtn1Click();
    void BitBtn7Click();
    void BitBtn3Click(int tag);
    void BitBtn4Click();
    void fillControls();
    /// One colour group's controls into the record and onto the list.
    void colourGroupChanged(int group);
    void showFontNames();
    /// Gives `widget` `font`, remembering the font it had first for Cancel.
    void applyFont(QWidget* widget, const QFont& font);
    void restoreFonts();

    QPointer<TListView> m_list;
    QPointer<QTreeWidget> m_tree;
    bool m_confirmed = false;
    bool m_filling = false;
    bool m_shownOnce = false;
    TSetupInfo m_before;  // the record as the main window had it, for Cancel
    std::vector<std::pair<QPointer<QWidget>, QFont>> m_originalFonts;
};
