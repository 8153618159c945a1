// Build and reload: run the external assembler or C compiler on the source
// that belongs to the current HEX file, then load the HEX file it produced.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "session/session.h"

namespace vx {

enum class ToolKind {
    Assembler,       // mpasm, mpasmwin, gpasm, and any tool not recognised
    BatchCompiler,   // ccsc, sdcc: success is judged by the HEX file
    AskingCompiler,  // picc: the user says whether it worked
};

// Decided from the tool path in lower case, later tests overriding earlier
// ones. Build and reload tests for the ".exe" names; the source choice uses
// the shorter names.
ToolKind BuildToolKind(const std::string& toolPath);
ToolKind SourceToolKind(const std::string& toolPath);
inline bool isCompiler(ToolKind kind) { return kind != ToolKind::Assembler; }

// Splits an options text into words as a POSIX shell would (blanks separate,
// '...' and "..." quote, backslash escapes) without expanding anything;
// nullopt when a quote is not closed or the text ends in a backslash.
std::optional<std::vector<std::string>> SplitShellWords(const std::string& text);

// Runs the tool in the source's folder. The old HEX file is moved aside
// while the tool runs and put back when the build fails, which keeps the
// image; a HEX file without its source is left alone.
void BuildAndReload(Session& s);  // mnuASMwithRELOAD
void ReloadHex(Session& s);       // mnuRELOAD
void ChooseSource(Session& s);    // mnuSourceOpen
void OpenInEditor(Session& s);    // mnuEditer

// Polls the process, letting events run, until it ends or 10 s pass on the
// monotonic clock.
void WaitForExit(Session& s, ProcessId id);

}  // namespace vx
