#pragma once
#include <QStatusBar>
#include <array>

class QLabel;
class QProgressBar;

// A status bar of fixed panels, numbered from 0, with a busy gauge as panel 2. Temporary
// messages are never shown: every text goes into a panel.
class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 6;
    static constexpr int kGaugePanel = 2;

    explicit TStatusBar(QWidget* parent = nullptr);

    /// Shows `text` on the panel's one line (its lines joined by blanks) and, whole, as the
    /// panel's tool tip.
    void setPanelText(int panel, const QString& text);
    /// `text` with its lines joined by one blank each, empty lines left out.
    static QString oneLine(const QString& text);
    QString panelText(int panel) const;
    /// A panel with text is never narrower than its text: it widens while the text needs it
    /// and goes back to `width` when the text fits again.
    void setPanelWidth(int panel, int width);
    int panelWidth(int panel) const;
    /// The gauge moves while busy and stands empty otherwise.
    void setBusy(bool busy);
    bool isBusy() const;
    /// Height of the bar's inside, where the panels are.
    void setClientHeight(int height);

signals:
    void resized();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitPanel(int panel);

    std::array<QWidget*, kPanelCount> m_panels{};
    std::array<int, kPanelCount> m_widths{};
    QProgressBar* m_gauge = nullptr;
};
