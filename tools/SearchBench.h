#pragma once
#include <string>

/// Makes a cache of `entries` entries of `computers` computers with a rare name planted in
/// a few, then times `pallisk` against grep over a dump of the same paths; prints medians.
int benchSearch(const std::string& pallisk, int entries, int computers);
