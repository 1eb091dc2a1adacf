#pragma once
#include <QIcon>
#include <QList>

// An indexed list of pictures of one size, as the tree and the file list address them: items
// carry an image number, not a picture. Each image is kept as one icon made from a pixmap of
// the list's size, so the many items that show it share it and a view never scales on paint.
class TImageList {
public:
    explicit TImageList(int size) : m_size(size) {}

    int size() const { return m_size; }
    int count() const { return static_cast<int>(m_images.size()); }

    /// Appends the icon at this list's size and returns its index.
    int add(const QIcon& icon);
    /// Appends a ready picture (scaled to this list's size when it differs).
    int add(const QPixmap& pixmap);
    /// Replaces image `index`; out of range does nothing.
    void replace(int index, const QIcon& icon);
    /// The picture of image `index` as an icon; a null icon when out of range.
    QIcon icon(int index) const;
    QPixmap pixmap(int index) const;
    /// Deletes every image from `first` on (the per-folder images after the fixed ones).
    void truncate(int first);

    /// Update brackets around a run of changes; they nest and must stay paired.
    void beginUpdate() { ++m_updateCount; }
    void endUpdate() { if (m_updateCount > 0) --m_updateCount; }
    int updateCount() const { return m_updateCount; }

private:
    int m_size;
    int m_updateCount = 0;
    QList<QIcon> m_images;
};
