#include "local/NameOrder.h"

namespace {

// Runs of digits padded to one width compare as numbers under any collation, the C
// locale's included, which ignores the collator's numeric mode: "第2章" before "第10章".
QString countedDigits(const QString& name)
{
    constexpr qsizetype kWidth = 20;
    QString result;
    result.reserve(name.size() + 8);
    for (qsizetype i = 0; i < name.size();) {
        if (!name[i].isDigit() || name[i].unicode() > 0x7F) {
            result += name[i++];
            continue;
        }
        const qsizetype start = i;
        while (i < name.size() && name[i].isDigit() && name[i].unicode() <= 0x7F)
            ++i;
        if (i - start < kWidth)
            result += QString(kWidth - (i - start), QLatin1Char('0'));
        result += QStringView(name).mid(start, i - start);
    }
    return result;
}

} // namespace

NameOrder::NameOrder()
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

QCollatorSortKey NameOrder::key(const QString& name) const
{
    return m_collator.sortKey(countedDigits(name.toCaseFolded()));
}

int NameOrder::compare(const QString& a, const QString& b) const
{
    return m_collator.compare(countedDigits(a.toCaseFolded()), countedDigits(b.toCaseFolded()));
}
