#pragma once
// The run's exclusions, from --exclude and --exclude-from, made before any
// folder is read so that a bad pattern ends the run with nothing done.
#include "cli/arguments.h"
#include "model/exclusions.h"

#include <string>
#include <vector>

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
    // out; with --skip-links, the links too. Returns an empty text when every
    // pattern holds, otherwise what is wrong; `usageError` is set for a bad
    // pattern of the command line.
    std::wstring Load(const Options& options, bool* usageError);
    // Null when the run has none: neither a pattern nor --skip-links.
    const ExclusionList* List() const { return m_list; }
    // The patterns, as they hold (spaces at the end dropped, each slash a
    // backslash, as catalogs and baselines record them), each once, in the order given.
    const std::vector<std::wstring>& Patterns() const { return m_patterns; }
    // A catalog's recorded pattern, added unless the run has it already;
    // 0, or 8 when memory runs out. Its context is the RunExclusions.
    static DWORD Remember(void* context, const wchar_t* pattern);
    // The patterns Remember added since the last call, separated by spaces, each in quotes.
    std::wstring TakeRemembered();

private:
    std::wstring Add(const std::wstring& pattern, const std::wstring& where);
    std::wstring LoadFile(const std::wstring& path);

    ExclusionList* m_list = nullptr;
    std::vector<std::wstring> m_patterns;
    std::wstring m_remembered;
};

// What a summary tells of the entries left out: "; excluded N" when the run
// has patterns, "; links left out N" with --skip-links; empty for neither.
std::wstring LeftOutText(const RunExclusions& exclusions, unsigned long excluded, unsigned long links);

}  // namespace cli
