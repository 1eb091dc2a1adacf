#pragma once
#include <QComboBox>

#include <cstdint>

// A colour picker of the sixteen standard colours, each shown with a swatch and its name.
// Values are R + 256*G + 65536*B. A value outside the sixteen is kept as an extra entry,
// so that showing and reading back a stored colour never changes it.
class TColorComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TColorComboBox(QWidget* parent = nullptr);

    uint32_t colorValue() const;
    void setColorValue(uint32_t value);

    /// The sixteen colours in their list order.
    static constexpr int kStandardCount = 16;
    static uint32_t standardColor(int index);

signals:
    void colorValueChanged(uint32_t value);
};
