#include "store/FtpSiteBlock.h"

#include "platform/TextCodec.h"

#include <cstring>

void EncodeFtpSiteBlock(const FtpSiteBlock& b, unsigned char* out)
{
    using L = FtpSiteBlockLayout;
    std::memset(out, 0, FtpSiteBlockSize);
    WriteTextField(out + L::Host.At, L::Host.Width, b.Host);
    WriteTextField(out + L::User.At, L::User.Width, b.User);
    WriteTextField(out + L::Password.At, L::Password.Width, b.Password);
    WriteTextField(out + L::ProxyHost.At, L::ProxyHost.Width, b.ProxyHost);
    PutLE32(out + L::Port.At, uint32_t(b.Port));
    PutLE32(out + L::ProxyPort.At, uint32_t(b.ProxyPort));
}

FtpSiteBlock DecodeFtpSiteBlock(const unsigned char* in)
{
    using L = FtpSiteBlockLayout;
    FtpSiteBlock b;
    b.Host = ReadTextField(in + L::Host.At, L::Host.Width);
    b.User = ReadTextField(in + L::User.At, L::User.Width);
    b.Password = ReadTextField(in + L::Password.At, L::Password.Width);
    b.ProxyHost = ReadTextField(in + L::ProxyHost.At, L::ProxyHost.Width);
    b.Port = int32_t(GetLE32(in + L::Port.At));
    b.ProxyPort = int32_t(GetLE32(in + L::ProxyPort.At));
    return b;
}
