#pragma once
#include <QObject>
#include <array>
#include <string>

class QWidget;

// Keeps a window's placement between runs in a registry key: the values "Top", "Left",
// "Width" and "Height", and three free texts "ExtraParam1" to "ExtraParam3" that the window
// uses for its own layout (the main window keeps its left pane width there).
class TFormPosSaver : public QObject {
    Q_OBJECT
public:
    TFormPosSaver(QWidget* form, std::string key);

    /// Reads the stored placement and applies it when it lies on a screen; reads the extra
    /// parameters (empty when missing).
    void restore();
    /// Writes the placement and the extra parameters. False when the key cannot be written.
    bool save();

    std::string extraParam(int n) const { return m_extraParams.at(n - 1); }
    void setExtraParam(int n, const std::string& text) { m_extraParams.at(n - 1) = text; }

private:
    QWidget* m_form;
    std::string m_key;
    std::array<std::string, 3> m_extraParams;
};
