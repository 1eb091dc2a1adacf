#pragma once
#include "store/CrawlChanges.h"
#include "store/TNodeData.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The crawl of one computer into its cache: every disk share (hidden "$" shares left
// out) is walked, several at once by worker processes when they can be started
// (CrawlWorker.h), else one after another through this thread's SMB context, and the
// computer's listing pair is replaced whole by what was found: first the folder "\\NAME\" with the shares as its
// folders, then every folder of every share. Paths are written with the computer's name,
// as the cached view looks them up, even when the computer is reached by its address.
//
// A re-crawl reuses the previous listing of a folder whose modification time has not
// changed since then (its subfolders are still looked at, each with one request). A
// share that refuses access, a folder that cannot be listed, or a share whose walk runs
// out of time makes the crawl partial: what the previous crawl had of that part is kept,
// so nothing known is lost, and the record of the crawl says why.

struct CrawlOptions {
    int ShareTimeoutMs = 0;  // the longest walk of one share; 0 for no limit
    bool Full = false;       // list every folder again, reusing nothing
    // When set, only this share (by name) is walked: what the previous crawl had of the
    // others stays as it was, refusals included.
    std::string OnlyShare;
    // Connections to the computer at once, one worker process each, when it has several
    // shares to walk; 0 for the usual number, 1 to walk every share in this process.
    int Connections = 0;
};

/// The counters of a computer record.
struct CrawlCounters {
    int32_t Files = 0;
    int32_t Images = 0;
    int32_t Audio = 0;
    int32_t Video = 0;
};

enum class MediaKind { Other, Image, Audio, Video };

/// The group of a file name by its extension, without regard to case:
/// images jpg jpeg jpe png gif bmp tif tiff webp heic heif ico svg psd raw cr2 nef dng;
/// audio mp3 wav flac aac ogg oga opus m4a wma mid midi ape aiff aif amr;
/// video mp4 m4v mkv avi mov wmv mpg mpeg vob webm flv 3gp ts m2ts rm rmvb ogv.
MediaKind MediaKindOf(std::string_view name);

struct CrawlProgress {
    std::string Share;      // \\NAME\SHARE being walked
    int Folders = 0;        // folders done so far (listed or reused)
    int ReusedFolders = 0;
    int64_t Files = 0;
};

struct CrawlOutcome {
    bool Written = false;    // the pair (and the crawl record) were replaced
    bool Cancelled = false;  // stopped by the flag: nothing was written
    int Error = 0;           // Win32 code when the computer could not be crawled at all
    std::string ErrorText;
    CrawlCounters Counters;
    int Folders = 0;
    int ReusedFolders = 0;
    CrawlRecord Record;      // what was written to the crawl record
};

/// The computer's name: RemoteName without its leading "\\" and any trailing "\".
std::string CrawlComputerName(const TNodeData& computer);
/// Where the computer is reached: the address (Host) of an expanded-network computer,
/// the name otherwise.
std::string CrawlServerAddress(const TNodeData& computer);

/// Crawls `computer` (a record with StoreDir and Key) and replaces its listing pair and
/// crawl record. `cancel` is looked at between entries; `progress` is called after each
/// folder. Nothing is thrown: failures are in the outcome.
CrawlOutcome CrawlComputer(const TNodeData& computer, const CrawlOptions& options, const std::atomic<bool>& cancel,
                           const std::function<void(const CrawlProgress&)>& progress);

/// Runs `action` until it no longer fails with the sharing-violation text: another
/// program of the family (Tamsel reading its cache) holds the file for a moment. Gives up
/// after `waitMs` and lets the last failure through.
void RetryWhileShared(const std::function<void()>& action, int waitMs = 10000);
