#include "ui/TimeText.h"

namespace {

bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Letters QTime::toString() formats; every other unquoted letter would be printed as it is.
bool qtTimeLetter(QChar c) { return c == u'h' || c == u'H' || c == u'm' || c == u's' || c == u'z'; }

} // namespace

QString TimeOfDayFormat(const QLocale& locale)
{
    // The locale data follows the common locale repository, whose patterns hold fields Qt
    // does not know: "B" (a flexible day period, zh_TW's "Bh:mm:ss") and "t" (the zone),
    // which we leave out as the task list's clock never showed it.
    const QString pattern = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool hasPeriod = false;
    for (qsizetype k = 0; k < pattern.size();) {
        const QChar c = pattern[k];
        if (c == u'\'') {
            // A quoted literal, kept with its quotes ('' is a quote itself).
            const qsizetype close = pattern.indexOf(u'\'', k + 1);
            const qsizetype end = close < 0 ? pattern.size() : close + 1;
            result += pattern.mid(k, end - k);
            k = end;
            continue;
        }
        if ((c == u'A' || c == u'a') && k + 1 < pattern.size() && (pattern[k + 1] == u'P' || pattern[k + 1] == u'p')) {
            result += pattern.mid(k, 2);
            hasPeriod = true;
            k += 2;
            continue;
        }
        qsizetype run = k;
        while (run < pattern.size() && pattern[run] == c)
            run++;
        if (c == u'B' || c == u'b' || c == u'A' || c == u'a') {
            if (!hasPeriod)
                result += QStringLiteral("AP");
            hasPeriod = true;
        } else if (!isAsciiLetter(c) || qtTimeLetter(c)) {
            result += pattern.mid(k, run - k);
        }
        k = run;
    }
    // The zone's brackets are left empty by now.
    result.replace(QStringLiteral("[]"), QString());
    result.replace(QStringLiteral("()"), QString());
    result = result.simplified();
    // A separator that stood before the zone ("h:mm:ss AP, t") goes with it.
    while (result.endsWith(u',') || result.endsWith(u' '))
        result.chop(1);
    return result;
}

QString TimeOfDayText(const QLocale& locale, QTime time)
{
    return locale.toString(time, TimeOfDayFormat(locale));
}
