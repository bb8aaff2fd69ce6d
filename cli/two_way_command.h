#pragma once
// The sync command: LEFT and RIGHT both changed since the last run, each
// side's changes taken to the other against the baseline, the record of that
// run, and what both sides changed left alone as a conflict.
#include "cli/arguments.h"
#include "cli/exclusion_patterns.h"

namespace cli {

// Runs the whole command and returns the exit status: 0 both sides agree
// after the run, 1 conflicts, operations not done or entries that could not
// be read, 2 trouble or a refusal (nothing changed).
int RunTwoWay(const Options& options, const RunExclusions& exclusions);

}  // namespace cli
