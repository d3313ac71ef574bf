// The one walk of every batch command: its operands made a list of sources before any work, in
// one order (the absolute paths, case-blind) and one path form (absolute), each file once, with
// --shard's share taken and the operands that name nothing set apart.
#pragma once

#include "cardcore/BatchPlan.h"

#include <string>
#include <vector>

namespace card {

struct Source {
    std::wstring path;     // absolute
    std::wstring relative; // to the folder operand it was found in, or its name: what --shard hashes
};

struct WalkRequest {
    std::vector<std::wstring> operands;
    std::vector<std::wstring> extensions; // of the files a folder stands for (lower case, no dot)
    bool recursive = false;
    scanleaf::core::Shard shard;
};

struct Walked {
    std::vector<Source> sources;
    std::vector<std::wstring> missing; // operands that name no file or folder, as given
    size_t otherShards = 0;            // sources left to the other shards
    // The whole walk, every shard's sources in order, and where each of `sources` stands in it:
    // outputs are named from the whole walk, so that every shard names alike.
    std::vector<std::wstring> everyone;
    std::vector<size_t> mine;
};

Walked Walk(const WalkRequest& request);
// The same, with each missing operand named on standard error.
Walked WalkAndReport(const WalkRequest& request);

// What a missing operand is called in every command: "PATH: no such file or folder".
std::wstring MissingText(const std::wstring& path);

} // namespace card
