#include "local/NameOrder.h"

NameOrder::NameOrder()
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

QCollatorSortKey NameOrder::key(const QString& name) const
{
    return m_collator.sortKey(name.toCaseFolded());
}

int NameOrder::compare(const QString& a, const QString& b) const
{
    return m_collator.compare(a.toCaseFolded(), b.toCaseFolded());
}
