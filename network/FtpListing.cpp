#include "network/FtpListing.h"

#include "local/PatternTokenizer.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Length of the valid UTF-8 sequence at `i`, or 0.
size_t utf8SequenceLength(const std::string& text, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t minimum = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        minimum = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        minimum = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    uint32_t code = c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const unsigned char t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (t & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    // The characters that stand for undecodable bytes must not come from a server as
    // themselves, or two names would read the same.
    if (code >= 0xF880 && code <= 0xF8FF)
        return 0;
    return length;
}

bool isValidUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8SequenceLength(text, i);
        if (!length)
            return false;
        i += length;
    }
    return true;
}

void appendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

const char* const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool wholeNumber(std::string_view text, long long& value)
{
    if (text.empty() || text.size() > 18)
        return false;
    long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');  // 18 digits never overflow
    }
    value = number;
    return true;
}

void civilFromDate(double date, int& year, int& month, int& day)
{
    // Every line of a listing asks for the same moment, and the local-time conversion
    // looks at the zone file each time: keep the last answer.
    thread_local double lastDate = -1;
    thread_local int lastYear = 0, lastMonth = 0, lastDay = 0;
    if (date == lastDate) {
        year = lastYear;
        month = lastMonth;
        day = lastDay;
        return;
    }
    const int64_t unixTime = UnixFromDateTime(date);
    const std::time_t seconds = static_cast<std::time_t>(unixTime);
    std::tm local {};
    localtime_r(&seconds, &local);
    year = local.tm_year + 1900;
    month = local.tm_mon + 1;
    day = local.tm_mday;
    lastDate = date;
    lastYear = year;
    lastMonth = month;
    lastDay = day;
}

// An octal unix.mode ("0755", "644") in the long form's letters; empty when it is none.
std::string modeText(const std::string& mode, bool folder)
{
    if (mode.empty() || mode.size() > 6 || mode.find_first_not_of("01234567") != std::string::npos)
        return {};
    const unsigned bits = unsigned(std::strtoul(mode.c_str(), nullptr, 8));
    std::string text(1, folder ? 'd' : '-');
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        text += (bits & (0400u >> i)) ? letters[i] : '-';
    return text;
}

FtpLineResult finish(FtpEntry& entry)
{
    if (entry.name.find_first_not_of(' ') == std::string::npos || entry.name == "." || entry.name == "..")
        return FtpLineResult::Skipped;
    // Control characters too: a line end in a name would reach the control connection.
    const bool control = std::any_of(entry.name.begin(), entry.name.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
    return IsPlainName(entry.name) && !control ? FtpLineResult::Entry : FtpLineResult::Unsafe;
}

// "01-02-24  03:04PM  <DIR>  name" and "01-02-2024  15:04  12345  name". False for a line
// of another form, and for one whose date or time no calendar has (`badDate` says which).
bool parseDosLine(const std::string& line, FtpEntry& entry, bool& badDate)
{
    int month = 0, day = 0, year = 0, hour = 0, minute = 0, consumed = 0;
    char half[3] = {};
    if (std::sscanf(line.c_str(), "%2d-%2d-%4d %2d:%2d%n", &month, &day, &year, &hour, &minute, &consumed) != 5)
        return false;
    size_t position = size_t(consumed);
    if (position + 1 < line.size() && (line[position] == 'A' || line[position] == 'P') && line[position + 1] == 'M') {
        half[0] = line[position];
        position += 2;
    }
    const size_t fieldStart = line.find_first_not_of(' ', position);
    if (fieldStart == std::string::npos || fieldStart == position)
        return false;
    const size_t fieldEnd = line.find(' ', fieldStart);
    if (fieldEnd == std::string::npos)
        return false;
    const std::string field = line.substr(fieldStart, fieldEnd - fieldStart);
    const size_t nameStart = line.find_first_not_of(' ', fieldEnd);
    if (nameStart == std::string::npos)
        return false;
    long long size = 0;
    if (field == "<DIR>") {
        entry.folder = true;
        entry.size = -1;
    } else if (wholeNumber(field, size)) {
        entry.folder = false;
        entry.size = size;
    } else {
        return false;
    }
    entry.name = line.substr(nameStart);
    if (year < 100)
        year += year < 70 ? 2000 : 1900;
    double date = 0;
    badDate = minute > 59 || hour > (half[0] ? 12 : 23) || (half[0] && hour == 0)
        || !CalendarDate(year, month, day, date);
    if (badDate)
        return false;
    if (half[0] == 'P' && hour < 12)
        hour += 12;
    if (half[0] == 'A' && hour == 12)
        hour = 0;
    entry.modified = entry.listed = date + (hour * 60 + minute) / 1440.0;
    return true;
}

// "%2d:%2d%n" of `field`: the number of conversions made, as sscanf counts them. The plain
// "hh:mm" of nearly every line is read here; anything else goes to sscanf.
int scanTimeOfDay(std::string_view field, int& hour, int& minute, int& consumed)
{
    const auto digit = [&field](size_t i) { return field[i] >= '0' && field[i] <= '9'; };
    if (field.size() >= 5 && digit(0) && digit(1) && field[2] == ':' && digit(3) && digit(4)) {
        hour = (field[0] - '0') * 10 + (field[1] - '0');
        minute = (field[3] - '0') * 10 + (field[4] - '0');
        consumed = 5;
        return 2;
    }
    return std::sscanf(std::string(field).c_str(), "%2d:%2d%n", &hour, &minute, &consumed);
}

// "hh:mm" of the time-of-day form; false for an hour or minute no clock shows.
bool validTimeOfDay(std::string_view field)
{
    int hour = 0, minute = 0, consumed = 0;
    if (scanTimeOfDay(field, hour, minute, consumed) != 2)
        return true;  // not a time at all: the year falls back as for any other text
    return size_t(consumed) == field.size() && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

} // namespace

bool ParseFtpEncoding(const std::string& text, FtpEncoding& encoding)
{
    if (text == "auto")
        encoding = FtpEncoding::Auto;
    else if (text == "utf-8" || text == "utf8")
        encoding = FtpEncoding::Utf8;
    else if (text == "cp950" || text == "big5")
        encoding = FtpEncoding::Cp950;
    else
        return false;
    return true;
}

const char* FtpEncodingName(FtpEncoding encoding)
{
    switch (encoding) {
    case FtpEncoding::Utf8: return "utf-8";
    case FtpEncoding::Cp950: return "cp950";
    default: return "auto";
    }
}

FtpEncoding ChooseFtpEncoding(bool announcesUtf8, const std::vector<std::string>& lines)
{
    if (announcesUtf8)
        return FtpEncoding::Utf8;
    for (const std::string& line : lines) {
        if (!isValidUtf8(line))
            return FtpEncoding::Cp950;
    }
    return FtpEncoding::Utf8;
}

std::string DecodeRemoteName(const std::string& bytes, FtpEncoding encoding)
{
    if (encoding == FtpEncoding::Cp950)
        return DecodeCP950(bytes);
    // A line of plain ASCII (most of every listing) is already its own text.
    if (IsAscii(bytes))
        return bytes;
    // UTF-8: a byte that is not part of a valid sequence becomes a private character of
    // its own, the same the CP950 codec uses, and goes back as that byte.
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = utf8SequenceLength(bytes, i);
        if (length) {
            out.append(bytes, i, length);
            i += length;
        } else {
            appendUtf8(out, 0xF880 + (static_cast<unsigned char>(bytes[i]) - 0x80));
            ++i;
        }
    }
    return out;
}

std::string EncodeRemoteName(const std::string& text, FtpEncoding encoding)
{
    if (encoding == FtpEncoding::Cp950)
        return EncodeCP950(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // U+F880..U+F8FF are EF A2 80 .. EF A3 BF.
        if (c == 0xEF && i + 2 < text.size() && (static_cast<unsigned char>(text[i + 1]) == 0xA2
                                                 || static_cast<unsigned char>(text[i + 1]) == 0xA3)) {
            const uint32_t code = 0xF000 | ((uint32_t(static_cast<unsigned char>(text[i + 1])) & 0x3F) << 6)
                | (static_cast<unsigned char>(text[i + 2]) & 0x3F);
            if (code >= 0xF880 && code <= 0xF8FF) {
                out += char(0x80 + (code - 0xF880));
                i += 2;
                continue;
            }
        }
        out += char(c);
    }
    return out;
}

bool CalendarDate(int year, int month, int day, double& date)
{
    static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > Days[month - 1] + (month == 2 && leap ? 1 : 0))
        return false;
    // Days from 1899-12-30 by the civil calendar.
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153u * unsigned(month + (month > 2 ? -3 : 9)) + 2u) / 5u + unsigned(day) - 1u;
    const unsigned doe = yoe * 365u + yoe / 4u - yoe / 100u + doy;
    const int64_t fromEpoch = int64_t(era) * 146097 + int64_t(doe) - 719468;  // days from 1970-01-01
    date = double(fromEpoch + 25569);
    return true;
}

FtpLineResult ParseListLine(const std::string& line, double now, FtpEntry& entry)
{
    entry = FtpEntry();
    if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
        bool badDate = false;
        if (parseDosLine(line, entry, badDate))
            return finish(entry);
        if (!badDate)
            return FtpLineResult::Skipped;
        const FtpLineResult named = finish(entry);
        return named == FtpLineResult::Entry ? FtpLineResult::BadDate : named;
    }
    // The fields as views of the line; a line that is not plain ASCII is split into texts
    // of their own (its characters, not its bytes, line up the columns), viewed the same way.
    // Kept from line to line: a listing splits thousands of them on this thread.
    thread_local std::vector<std::string_view> fields;
    std::vector<std::string> decodedFields;
    fields.clear();
    try {
        if (!SplitAsciiByPattern(line, kFtpListingPattern, fields)) {
            SplitByPattern(line, kFtpListingPattern, decodedFields);
            fields.assign(decodedFields.begin(), decodedFields.end());
        }
    } catch (const Exception&) {
        return FtpLineResult::Skipped;
    }
    if (fields.size() < 9)
        return FtpLineResult::Skipped;
    const std::string_view permissions = fields[0];
    entry.name = fields[8];
    // A name of its own blanks after five or more blanks: the rest of the line is the name.
    if (fields.size() > 9) {
        size_t at = 0;
        for (int field = 0; field < 8 && at != std::string::npos; ++field) {
            at = line.find(' ', at);
            if (at != std::string::npos)
                at = line.find_first_not_of(' ', at);
        }
        if (at != std::string::npos)
            entry.name = line.substr(at);
    }
    entry.folder = !permissions.empty() && permissions[0] == 'd';
    entry.permissions = permissions;
    entry.owner = fields[2];
    entry.group = fields[3];
    long long size = 0;
    entry.size = entry.folder ? -1 : (wholeNumber(fields[4], size) ? size : 0);
    int month = 1;
    for (int m = 0; m < 12; ++m) {
        if (fields[5] == MonthNames[m])
            month = m + 1;
    }
    long long value = 0;
    const int day = wholeNumber(fields[6], value) && value < 100 ? int(value) : 1;
    int year = 0;
    int minutes = 0;
    if (wholeNumber(fields[7], value) && value < 10000) {
        year = int(value);
    } else {
        // "14:30": the time of day the server shows is part of what it listed.
        int hour = 0, minute = 0, consumed = 0;
        if (scanTimeOfDay(fields[7], hour, minute, consumed) == 2
            && consumed == int(fields[7].size()) && hour < 24 && minute < 60 && hour >= 0 && minute >= 0)
            minutes = hour * 60 + minute;
        // The time-of-day form: within the last year. The current year, unless that puts
        // the date more than a day ahead (in January, last December's files).
        int nowYear = 0, nowMonth = 0, nowDay = 0;
        civilFromDate(now, nowYear, nowMonth, nowDay);
        year = nowYear;
        double date = 0;
        if (CalendarDate(year, month, day, date) && date > now + 1)
            --year;
    }
    const FtpLineResult result = finish(entry);
    if (result != FtpLineResult::Entry)
        return result;
    double date = 0;
    if (!CalendarDate(year, month, day, date) || !validTimeOfDay(fields[7]))
        return FtpLineResult::BadDate;
    entry.modified = date;
    entry.listed = date + minutes / 1440.0;
    return result;
}

FtpLineResult ParseMlsdLine(const std::string& line, FtpEntry& entry)
{
    entry = FtpEntry();
    const size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return FtpLineResult::Skipped;
    entry.name = line.substr(blank + 1);
    std::string type;
    std::string mode, perm, uid, gid;
    bool badDate = false;
    size_t start = 0;
    const std::string facts = line.substr(0, blank);
    while (start < facts.size()) {
        size_t end = facts.find(';', start);
        if (end == std::string::npos)
            end = facts.size();
        const std::string fact = facts.substr(start, end - start);
        const size_t equals = fact.find('=');
        if (equals != std::string::npos) {
            std::string key = fact.substr(0, equals);
            for (char& c : key)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            const std::string value = fact.substr(equals + 1);
            long long number = 0;
            if (key == "type") {
                type = value;
                for (char& c : type)
                    c = char(std::tolower(static_cast<unsigned char>(c)));
            } else if (key == "unix.mode") {
                mode = value;
            } else if (key == "perm") {
                perm = value;
            } else if (key == "unix.owner") {
                entry.owner = value;
            } else if (key == "unix.uid") {
                uid = value;
            } else if (key == "unix.group") {
                entry.group = value;
            } else if (key == "unix.gid") {
                gid = value;
            } else if (key == "size" && wholeNumber(value, number)) {
                entry.size = number;
            } else if (key == "modify" && value.size() >= 14) {
                std::tm utc {};
                if (std::sscanf(value.c_str(), "%4d%2d%2d%2d%2d%2d", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                                &utc.tm_hour, &utc.tm_min, &utc.tm_sec) == 6) {
                    double date = 0;
                    if (!CalendarDate(utc.tm_year, utc.tm_mon, utc.tm_mday, date) || utc.tm_hour < 0
                        || utc.tm_hour > 23 || utc.tm_min < 0 || utc.tm_min > 59 || utc.tm_sec < 0
                        || utc.tm_sec > 60) {
                        badDate = true;
                    } else {
                        entry.listed = date + (utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec) / 86400.0;
                        utc.tm_year -= 1900;
                        utc.tm_mon -= 1;
                        entry.modified = DateTimeFromUnix(int64_t(timegm(&utc)));
                    }
                }
            }
        }
        start = end + 1;
    }
    if (type == "cdir" || type == "pdir")
        return FtpLineResult::Skipped;
    entry.folder = type == "dir";
    if (entry.folder)
        entry.size = -1;
    entry.permissions = modeText(mode, entry.folder);
    if (entry.permissions.empty())
        entry.permissions = perm;
    if (entry.owner.empty())
        entry.owner = uid;
    if (entry.group.empty())
        entry.group = gid;
    const FtpLineResult named = finish(entry);
    return badDate && named == FtpLineResult::Entry ? FtpLineResult::BadDate : named;
}

