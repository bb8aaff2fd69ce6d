#pragma once
// The run's exclusions, from --exclude and --exclude-from, made before any
// folder is read so that a bad pattern ends the run with nothing done.
#include "cli/arguments.h"
#include "model/exclusions.h"

#include <string>

namespace cli {

// The patterns of one run, freed with it.
class RunExclusions {
public:
    RunExclusions() = default;
    ~RunExclusions() { FreeExclusions(m_list); }
    RunExclusions(const RunExclusions&) = delete;
    RunExclusions& operator=(const RunExclusions&) = delete;

    // Adds the patterns of --exclude, then the lines of each --exclude-from
    // file: UTF-8 with or without its byte-order mark, lines ended by CR LF or
    // LF, blank lines (spaces and tabs only) and lines that begin with # left
    // out. Returns an empty text when every pattern holds, otherwise what is
    // wrong; `usageError` is set for a bad pattern of the command line.
    std::wstring Load(const Options& options, bool* usageError);
    // Null when the run has none.
    const ExclusionList* List() const { return m_list; }

private:
    std::wstring Add(const std::wstring& pattern, const std::wstring& where);
    std::wstring LoadFile(const std::wstring& path);

    ExclusionList* m_list = nullptr;
};

}  // namespace cli
