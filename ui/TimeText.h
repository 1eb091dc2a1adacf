#pragma once
#include <QLocale>
#include <QString>
#include <QTime>

/// A time of day in `locale`'s long time format, as a clock shows it: without the time zone,
/// and with the day periods Qt cannot render (the "B" of "Bh:mm:ss") shown as its AM/PM text,
/// so that no letter of the format pattern ever reaches the screen.
QString TimeOfDayText(const QLocale& locale, QTime time);

/// The pattern TimeOfDayText formats with, for `locale`.
QString TimeOfDayFormat(const QLocale& locale);
