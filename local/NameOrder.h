#pragma once
#include <QCollator>
#include <QString>

// The one order of file and folder names on screen: the folders of the tree, the entries
// of the list as the lister fills it and as a click on the name column sorts it. Names
// compare under the user's locale without regard to case; the C locale's collation knows
// no case-insensitive strength, so names are case-folded first. Numbers in names count as
// people count them.
class NameOrder {
public:
    NameOrder();

    /// A key whose order is this order: sorting many names compares keys made once each.
    QCollatorSortKey key(const QString& name) const;
    /// Negative, zero or positive as `a` sorts before, with or after `b`.
    int compare(const QString& a, const QString& b) const;

private:
    QCollator m_collator;
};
