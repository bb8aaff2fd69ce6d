#pragma once
// The companion's two streams: records on standard output, messages on
// standard error, both UTF-8, written whole whatever they are attached to.
#include <string>

namespace cli {

void WriteOutput(const std::string& bytes);
void WriteError(const std::wstring& text);

}  // namespace cli
