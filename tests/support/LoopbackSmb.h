#pragma once
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

// Every test program keeps libsmbclient on loopback: unless a test names its own client
// configuration, this one resolves names only from an lmhosts file (none), so a UNC path
// with a made-up server name fails at once, with no broadcast and no DNS query.
class LoopbackSmb {
public:
    LoopbackSmb()
    {
        if (std::getenv("TAMSEL_SMB_CONF"))
            return;
        char folder[] = "/tmp/tamsel-smbclient-XXXXXX";
        if (!mkdtemp(folder))
            return;
        m_folder = folder;
        std::ofstream(m_folder + "/smb.conf") << "[global]\ninterfaces = lo\nbind interfaces only = yes\n"
                                                 "name resolve order = lmhosts\ndisable netbios = yes\n"
                                                 "lock directory = " << m_folder << "\nstate directory = " << m_folder
                                              << "\ncache directory = " << m_folder << "\nprivate dir = " << m_folder
                                              << "\nlog level = 0\n";
        setenv("TAMSEL_SMB_CONF", (m_folder + "/smb.conf").c_str(), 1);
    }
    ~LoopbackSmb()
    {
        if (!m_folder.empty())
            std::system(("rm -rf '" + m_folder + "'").c_str());
    }

private:
    std::string m_folder;
};
