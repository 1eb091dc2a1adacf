#pragma once
#include <string>

// What the user types or pastes into the address box, sorted into the kinds of place the
// program can go to. Linux paths and file: URLs are native bytes and are translated into
// the program's paths here, so a pasted name of any bytes still names its file.

enum class AddressKind {
    Virtual,  // a tree path: "local:\(C:)\dir\", "nethood:\...", "expanded:\...", "bookmark:\..."
    Drive,    // a drive path: "C:\dir\sub" (also typed "C:/dir", "/home/user", "file:///...")
    Unc,      // a network path: "\\SERVER\SHARE\dir" (also "file://SERVER/SHARE/dir", "smb://SERVER/SHARE/dir")
    Ftp,      // "ftp://..." (the site's address, unchanged)
    Unknown,  // none of these
};

struct Address {
    AddressKind kind = AddressKind::Unknown;
    std::string path;  // the program's path (Virtual, Drive, Unc) or the URL (Ftp)
};

/// Sorts `text` (UTF-8, surrounding blanks and double quotes ignored). A Drive path uses
/// backslashes only, with no doubled separators; a Linux path outside every drive, or
/// one that is not absolute, is Unknown.
Address ParseAddress(const std::string& text);

/// An FTP link taken apart: "ftp://[USER@]HOST[:PORT]/DIR", percent escapes decoded.
struct FtpLink {
    std::string user;           // empty: anonymous
    std::string host;
    int port = 21;
    std::string folder = "/";   // "/" separated, absolute
};

/// Reads an "ftp://" link; false (and `link` unchanged) when it is not one the program can
/// open, among them a link that carries a password.
bool ParseFtpLink(const std::string& text, FtpLink& link);
