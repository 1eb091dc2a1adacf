#pragma once
#include "platform/NativeNames.h"

#include <cstdint>
#include <string>
#include <vector>

// Reading an FTP server's listings and turning its names into text and back.
//
// The server's names are bytes in the site's encoding, UTF-8 or CP950. Both directions are
// lossless: DecodeRemoteName keeps bytes it cannot read as characters of their own, and
// EncodeRemoteName gives exactly the listed bytes back, so a name listed is the name sent
// back in RETR, CWD, RNFR and DELE.

enum class FtpEncoding : int { Auto = 0, Utf8 = 1, Cp950 = 2 };

/// "auto", "utf-8" or "cp950"; false for anything else.
bool ParseFtpEncoding(const std::string& text, FtpEncoding& encoding);
const char* FtpEncodingName(FtpEncoding encoding);

/// The encoding of a site in auto mode: UTF-8 when the server announces it, or when every
/// line is valid UTF-8; CP950 otherwise.
FtpEncoding ChooseFtpEncoding(bool announcesUtf8, const std::vector<std::string>& lines);

std::string DecodeRemoteName(const std::string& bytes, FtpEncoding encoding);
std::string EncodeRemoteName(const std::string& text, FtpEncoding encoding);

/// One entry of a listing.
struct FtpEntry {
    std::string name;      // text (UTF-8)
    bool folder = false;
    int64_t size = -1;     // -1 when the listing gives none (folders, a field that is no number)
    double modified = 0;   // days since 1899-12-30, local time
    // The same date as the listing writes it, in no zone: MLSD's UTC fact as it stands,
    // LIST's fields as they are (the server's own clock). For showing the server's view.
    double listed = 0;
    // Who may do what, as far as the listing tells: the long form's permission field
    // ("drwxr-xr-x") and its owner and group fields; MLSD's unix.mode written the same
    // way, else its perm fact ("adfrw"), and its unix.owner / unix.uid and unix.group /
    // unix.gid. Empty when the listing gives none (the DOS form).
    std::string permissions;
    std::string owner;
    std::string group;
};

/// Why a listing line gave no entry. BadDate: a date or time no calendar has ("Jan  0",
/// "Feb 30", 25:00); the line alone is refused, the rest of the listing stands.
enum class FtpLineResult { Entry, Skipped, Unsafe, BadDate };

/// Parses one LIST line (text): the Unix long form, split with the FTP listing pattern,
/// and the DOS form ("01-02-24  03:04PM  <DIR>  name"). "." and "..", blank names and lines
/// of neither form are Skipped. `now` (days since 1899-12-30) dates the time-of-day form:
/// that is the current year unless it would lie more than a day ahead, then the year
/// before.
FtpLineResult ParseListLine(const std::string& line, double now, FtpEntry& entry);

/// Parses one MLSD line ("type=file;size=12;modify=20240102030405; name"): exact sizes,
/// UTC times (`modified` turned into local time, `listed` as written). cdir and pdir
/// entries are Skipped.
FtpLineResult ParseMlsdLine(const std::string& line, FtpEntry& entry);

/// The days-since-1899 date of a calendar day; false for a date that does not exist.
bool CalendarDate(int year, int month, int day, double& date);
