#pragma once
#include "network/CacheCrawler.h"

#include <functional>
#include <string>
#include <vector>

// Runs the crawls of several computers at once, each in a child process of its own:
// libsmbclient lets only one call run at a time in a process, so threads would wait for
// each other, and a crash inside it costs one computer, not the run. The children write
// the listing pairs; the parent alone writes the node files.

struct CrawlJobEvents {
    std::function<void(size_t job)> started;
    std::function<void(size_t job, const CrawlProgress&)> progress;
    /// The child's outcome; Error -1 when the child died without one (its text says how).
    std::function<void(size_t job, const CrawlOutcome&)> finished;
};

/// Crawls every computer, at most `parallel` at a time, and returns when all are done.
/// `stop` (set from a signal handler) stops the children: their previous pairs stay.
void RunCrawlJobs(const std::vector<TNodeData>& computers, const CrawlOptions& options, int parallel,
                  const std::atomic<bool>& stop, const CrawlJobEvents& events);
