#pragma once
#include "store/RecordLayout.h"

#include <cstddef>
#include <cstdint>
#include <string>

// An FTP site's block, kept in its node's ".ATT": four CP950 texts, NUL-terminated and cut to
// their field, then two little-endian ports.

/// The block as the program uses it.
struct FtpSiteBlock {
    std::string Host;
    std::string User;
    std::string Password;  // as typed
    std::string ProxyHost;
    int32_t Port = 21;
    int32_t ProxyPort = 21;
};

/// Where each field of the block stands.
struct FtpSiteBlockLayout {
    static constexpr RecordField Host = FirstField(128);
    static constexpr RecordField User = FieldAfter(Host, 64);
    static constexpr RecordField Password = FieldAfter(User, 64);
    static constexpr RecordField ProxyHost = FieldAfter(Password, 128);
    static constexpr RecordField Port = FieldAfter(ProxyHost, 4);
    static constexpr RecordField ProxyPort = FieldAfter(Port, 4);
};

/// The stored size of the block.
constexpr size_t FtpSiteBlockSize = FtpSiteBlockLayout::ProxyPort.End();
static_assert(FtpSiteBlockSize == 392, "the site block keeps the size of the files already stored");

/// Writes `block` into the FtpSiteBlockSize bytes at `bytes`; texts too long for their field
/// are cut on a character boundary.
void EncodeFtpSiteBlock(const FtpSiteBlock& block, unsigned char* bytes);
/// Reads the block from the FtpSiteBlockSize bytes at `bytes`; a text that fills its field
/// without a NUL is taken whole.
FtpSiteBlock DecodeFtpSiteBlock(const unsigned char* bytes);
