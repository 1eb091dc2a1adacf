#include "ui/TImageList.h"

int TImageList::add(const QIcon& icon)
{
    return add(icon.pixmap(m_size, m_size));
}

int TImageList::add(const QPixmap& pixmap)
{
    if (!pixmap.isNull() && (pixmap.width() != m_size || pixmap.height() != m_size))
        m_images.append(QIcon(pixmap.scaled(m_size, m_size, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    else
        m_images.append(pixmap.isNull() ? QIcon() : QIcon(pixmap));
    return count() - 1;
}

void TImageList::replace(int index, const QIcon& icon)
{
    if (index >= 0 && index < count())
        m_images[index] = QIcon(icon.pixmap(m_size, m_size));
}

QIcon TImageList::icon(int index) const
{
    return index >= 0 && index < count() ? m_images[index] : QIcon();
}

QPixmap TImageList::pixmap(int index) const
{
    return index >= 0 && index < count() && !m_images[index].isNull() ? m_images[index].pixmap(m_size, m_size) : QPixmap();
}

void TImageList::truncate(int first)
{
    if (first >= 0 && first < count())
        m_images.resize(first);
}
