#pragma once

// The stored files of a cached computer or FTP site, for the callers that use several of
// them: the listing pair (".LST" and ".IDX"), the node's attachment (".ATT") with the FTP
// site block it holds, and "LIST.DAT". Each format has its own header; include that one
// where a single format is used.
#include "store/FtpSiteBlock.h"
#include "store/ListDat.h"
#include "store/ListingPair.h"
#include "store/NodeAttachment.h"
