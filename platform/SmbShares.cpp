#include "platform/SmbShares.h"

#include "platform/SmbContext.h"
#include "platform/Win32Error.h"

#include <libsmbclient.h>

#include <cerrno>

std::string SmbHostName(const std::string& host)
{
    std::string name = host;
    while (!name.empty() && (name.front() == '\\' || name.front() == '/'))
        name.erase(0, 1);
    while (!name.empty() && (name.back() == '\\' || name.back() == '/'))
        name.pop_back();
    return name;
}

bool ListSmbShares(const std::string& host, std::vector<SmbShare>& shares, int* error)
{
    auto fail = [error](int code) {
        if (error)
            *error = code;
        return false;
    };
    const std::string name = SmbHostName(host);
    if (name.empty() || name.find_first_of("\\/") != std::string::npos)
        return fail(Win32::BadNetpath);
    int code = 0;
    SMBCCTX* ctx = SmbThreadContext(SmbKind::Files, &code);
    if (!ctx)
        return fail(code);
    const std::string server = "\\\\" + name;
    SMBCFILE* dir = SmbCall([&] { return smbc_getFunctionOpendir(ctx)(ctx, SmbUrl(server).c_str()); });
    if (!dir) {
        const int err = errno;
        // The server itself is what is missing here: no such name or nobody answering.
        if (err == ENOENT || err == ENODEV || err == ENXIO)
            return fail(Win32::BadNetpath);
        return fail(SmbErrorFor(err, server));
    }
    shares.clear();
    while (const smbc_dirent* d = SmbCall([&] { return smbc_getFunctionReaddir(ctx)(ctx, dir); })) {
        if (d->smbc_type != SMBC_FILE_SHARE)
            continue;
        SmbShare share;
        share.resource.Scope = netres::ScopeGlobalNet;
        share.resource.ResourceType = netres::TypeDisk;
        share.resource.DisplayType = netres::DisplayShare;
        share.resource.Usage = netres::UsageConnectable;
        share.resource.RemoteName = server + "\\" + d->name;
        share.resource.Comment = d->comment ? d->comment : "";
        const std::string shareName = d->name;
        share.hidden = !shareName.empty() && shareName.back() == '$';
        shares.push_back(std::move(share));
    }
    SmbCall([&] { return smbc_getFunctionClosedir(ctx)(ctx, dir); });
    if (error)
        *error = Win32::NoError;
    return true;
}
