#pragma once
#include <QWidget>

#include <array>
#include <cstdint>

class QLineEdit;

// An IP address control: four fields of 0 to 255 separated by dots, holding one 32-bit
// value (the first field is the most significant byte). Typing a dot, or a third digit,
// moves on to the next field; Backspace in an empty field goes back to the previous one.
class TIPEdit : public QWidget {
    Q_OBJECT
public:
    explicit TIPEdit(QWidget* parent = nullptr);

    /// The address; an empty field counts 0.
    uint32_t value() const;
    void setValue(uint32_t value);
    /// Empties all four fields.
    void clear();
    /// True when no field holds a digit.
    bool isBlank() const;

    QLineEdit* field(int index) const { return m_fields[index]; }

signals:
    void valueChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fieldEdited(int index);
    void focusField(int index, bool atEnd);

    std::array<QLineEdit*, 4> m_fields{};
};
