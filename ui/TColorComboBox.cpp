#include "ui/TColorComboBox.h"

#include "resources/UiText.h"

#include <QColor>
#include <QPixmap>

namespace {

struct NamedColor {
    const char* name;
    uint32_t value;  // R + 256*G + 65536*B
};

constexpr NamedColor kColors[TColorComboBox::kStandardCount] = {
    {"黑", 0x000000},   {"磚紅", 0x000080}, {"綠", 0x008000},   {"橄欖綠", 0x008080},
    {"深藍", 0x800000}, {"紫", 0x800080},   {"青綠", 0x808000}, {"灰", 0x808080},
    {"銀", 0xC0C0C0},   {"紅", 0x0000FF},   {"亮綠", 0x00FF00}, {"黃", 0x00FFFF},
    {"藍", 0xFF0000},   {"桃紅", 0xFF00FF}, {"青", 0xFFFF00},   {"白", 0xFFFFFF},
};

constexpr int kSwatchSize = 12;

QIcon swatch(uint32_t value)
{
    QPixmap picture(kSwatchSize, kSwatchSize);
    picture.fill(QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF));
    return QIcon(picture);
}

} // namespace

TColorComboBox::TColorComboBox(QWidget* parent) : QComboBox(parent)
{
    for (const NamedColor& color : kColors)
        addItem(swatch(color.value), UiText(color.name), color.value);
    connect(this, &QComboBox::currentIndexChanged, this, [this] { emit colorValueChanged(colorValue()); });
}

uint32_t TColorComboBox::standardColor(int index)
{
    return kColors[index].value;
}

uint32_t TColorComboBox::colorValue() const
{
    return currentIndex() < 0 ? 0 : currentData().toUInt();
}

void TColorComboBox::setColorValue(uint32_t value)
{
    int index = findData(value);
    if (index < 0) {
        // Only one extra entry at a time: the colour last shown that is not a standard one.
        if (count() > kStandardCount)
            removeItem(kStandardCount);
        // Named the way colours are usually written, red first.
        const uint32_t rgb = ((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF);
        addItem(swatch(value), QStringLiteral("#") + QStringLiteral("%1").arg(rgb, 6, 16, QLatin1Char('0')).toUpper(), value);
        index = kStandardCount;
    }
    setCurrentIndex(index);
}
