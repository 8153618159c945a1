#include "toolchain/build.h"
#include "toolchain/toolsettings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "base/convert.h"
#include "base/settings.h"
#include "image/hexfile.h"
#include "session/status.h"

namespace vx {

namespace {

const char* const kBuilding = "HEXファイル生成中です.....";
const char* const kNoSource = "ソースファイルをオープンできませんでした。";
const char* const kNoTool =
    "アセンブラ、または、コンパイラが指定されていません。\r\n\r\n"
    "メニューバの 【オプション】‥【MPASM.EXEの設定】から、MPASM.EXEの場所を指定してください。";
// Not in the original texts: the options are split without a shell, so an
// open quote cannot be guessed at.
const char* const kBadOptions = "アセンブラ・コンパイラのオプションの引用符が閉じていません。";
const char* const kAskCompiled =
    "コンパイルは正常に終了しましたか？　　　　　　　　　　　　　　　　　\r\n\r\n"
    "[ はい ]\tＨＥＸファイルを再ロードします。　　　　　　　　　　\r\n"
    "[いいえ]\tＨＥＸファイルを再ロードしません。　　　　　　　　　　\r\n";
const char* const kCompileError = "コンパイルエラーを検出しました。";
const char* const kAssembleError = "アセンブルエラーを検出しました。";
const char* const kBuildReloaded = "ＨＥＸファイルの再生成と再ロード完了。";
const char* const kHexNotLoaded = "HEXファイルをロードできませんでした。";
const char* const kHexReloaded = "HEXファイルの再ロード完了。";
const char* const kLoaderDone = "ファイルオープン完了";  // the loader's own success note
// Not in the original texts: what the build refused to do, or could not undo.
const char* const kNoSourceFile = "ソースファイルがありません。HEXファイルはそのままです。 ";
const char* const kHexNotMoved = "HEXファイルを一時的に退避できないため、ビルドしませんでした。 ";
const char* const kHexNotBack = " 元のHEXファイルを戻せませんでした。元のファイル: ";
const char* const kBuildRunning = "HEXファイルの生成中です。終わってからもう一度操作してください。";
// Not in the original texts: the tool left the HEX file without its end record.
const char* const kHexCut = "HEXファイルが最後まで書かれていません（終了レコードがありません）。";

constexpr int kExitWaitMs = 10000;
constexpr int kPollMs = 20;
constexpr int kSettleMs = 1000;  // lets the tool's files reach the disk
// Of a tool's messages the error file keeps this much: every error list of a
// real build, not the megabytes of a tool gone wild.
constexpr std::size_t kToolOutputKept = 1 << 20;

// A tool that was still writing when the wait ended leaves a file without
// the end-of-file record (type 01).
bool hasEndRecord(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line, '\n')) {
        const auto start = line.find(':');
        if (start != std::string::npos && line.size() >= start + 9 && line.compare(start + 7, 2, "01") == 0)
            return true;
    }
    return false;
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string dropLast(const std::string& text, std::size_t n) { return text.substr(0, text.size() - std::min(n, text.size())); }

bool editWithTextEditor(const Session& s) { return SettingBool(s.settings, "EditerA", true).value_or(true); }

// Loads hexPath without a dialog; shows doneNote unless the loader reported
// a problem, which stays on the status line.
void reload(Session& s, const char* doneNote) {
    s.loader.skipHexDialog = true;
    LoadHexFile(s);
    s.loader.skipHexDialog = false;
    if (s.view.note.rfind(kLoaderDone, 0) == 0)
        ShowNote(s, doneNote);
}

void openFile(Session& s, const std::string& path) {
    if (editWithTextEditor(s))
        s.processes.openInTextEditor(path);
    else
        s.processes.openWithAssociated(path);
}

// The file opened after a failed build: base + "AsmAfter", "" when not configured.
std::string errorFilePath(const Session& s, const std::string& base) {
    const std::string ext = TrimBlanks(SettingText(s.settings, "AsmAfter"));
    return ext.empty() ? "" : base + ext;
}

// What the tool said after a failed build; when it said nothing, the error
// file when configured and present.
void openErrorFile(Session& s, const std::string& base, const std::string& said) {
    const std::string path = said.empty() ? errorFilePath(s, base) : said;
    if (path.empty() || !FileExists(path))
        return;
    openFile(s, path);
}

std::optional<std::filesystem::file_time_type> lastWrite(const std::string& path) {
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(path, ec);
    return ec ? std::nullopt : std::optional(time);
}

// The tool's standard output and error, caught in a file of their own while
// it runs. After a failed build they go to the top of the error file when
// the tool wrote that file in this build (a listing); any other file of that
// name (a user's notes, an earlier build's file) is left alone and the
// messages keep their own file.
class ToolOutput {
public:
    ToolOutput(const std::string& errorFile, const std::string& base)
        : errorFile_(errorFile), catchFile_(errorFile.empty() ? "" : base + "tool-output"),
          before_(lastWrite(errorFile)) {}
    const std::string& catchFile() const { return catchFile_; }

    // The file that holds what the tool said; "" when it said nothing.
    std::string keep() const {
        std::string said = caught();
        if (said.empty()) {
            discard();
            return "";
        }
        if (const auto written = lastWrite(errorFile_); written && written != before_) {
            std::string own;
            {
                std::ifstream listing(errorFile_, std::ios::binary);
                own.assign(std::istreambuf_iterator<char>(listing), {});
            }
            std::ofstream(errorFile_, std::ios::binary | std::ios::trunc) << said << (own.empty() ? "" : "\r\n") << own;
            discard();
            return errorFile_;
        }
        std::ofstream(catchFile_, std::ios::binary | std::ios::trunc) << said;
        return catchFile_;
    }
    void discard() const {
        std::error_code ignored;
        if (!catchFile_.empty())
            std::filesystem::remove(catchFile_, ignored);
    }

private:
    // The first megabyte, with a line that says how much more there was.
    std::string caught() const {
        std::ifstream in(catchFile_, std::ios::binary);
        std::string said(kToolOutputKept, '\0');
        in.read(said.data(), static_cast<std::streamsize>(said.size()));
        said.resize(static_cast<std::size_t>(in.gcount()));
        std::error_code ec;
        const auto total = std::filesystem::file_size(catchFile_, ec);
        if (!said.empty() && !ec && total > said.size())
            said += "\r\n…（以降の出力 " + std::to_string(total - said.size()) + " バイトは省略しました）\r\n";
        return said;
    }

    std::string errorFile_;
    std::string catchFile_;
    std::optional<std::filesystem::file_time_type> before_;
};

// The old HEX file, moved aside in its own folder while the tool runs: its
// absence afterwards tells whether the tool wrote a new one, and a failed
// build puts it back, so that a build never costs the file it replaces.
class OldHex {
public:
    explicit OldHex(std::string path) : path_(std::move(path)) {}
    OldHex(const OldHex&) = delete;
    OldHex& operator=(const OldHex&) = delete;

    // False, with the reason, when the file is there but cannot be moved.
    bool moveAside(std::string& error) {
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path_, ec)))
            return true;
        const auto slash = path_.rfind('/');
        std::string aside = path_.substr(0, slash + 1) + "." + path_.substr(slash + 1) + ".XXXXXX";
        const int fd = ::mkstemp(aside.data());
        if (fd < 0) {
            error = std::strerror(errno);
            return false;
        }
        ::close(fd);
        if (::rename(path_.c_str(), aside.c_str()) != 0) {
            error = std::strerror(errno);
            ::unlink(aside.c_str());
            return false;
        }
        aside_ = aside;
        return true;
    }
    // Over whatever the tool left; false, with the old file's place, when it cannot.
    bool putBack(std::string& where) {
        if (aside_.empty() || ::rename(aside_.c_str(), path_.c_str()) == 0) {
            aside_.clear();
            return true;
        }
        where = aside_ + " : " + std::strerror(errno);
        return false;
    }
    void drop() {
        if (!aside_.empty())
            ::unlink(aside_.c_str());
        aside_.clear();
    }

private:
    std::string path_;
    std::string aside_;
};

// The build counts as a running command: a load, a save or another build
// while the tool runs would leave the build judging and loading a file it
// never built.
class BuildBusy {
public:
    explicit BuildBusy(Session& s) : s_(s) { MarkRunning(s_, true, kBuildRunning); }
    ~BuildBusy() { MarkRunning(s_, false); }
    BuildBusy(const BuildBusy&) = delete;
    BuildBusy& operator=(const BuildBusy&) = delete;

private:
    Session& s_;
};

ToolKind toolKind(const std::string& toolPath, bool shortTests) {
    const std::string path = LowerCase(toolPath);
    const std::string name = fileNameOf(path);
    ToolKind kind = ToolKind::Assembler;
    if (shortTests ? contains(path, "mpasm") || contains(path, "mpasmwin")
                   : contains(path, "mpasm.exe") || contains(path, "mpasmwin.exe"))
        kind = ToolKind::Assembler;
    if (name == "gpasm")
        kind = ToolKind::Assembler;
    if (contains(path, shortTests ? "ccsc" : "ccsc.exe") || name == "sdcc")
        kind = ToolKind::BatchCompiler;
    if (contains(path, shortTests ? "picc" : "picc.exe"))
        kind = ToolKind::AskingCompiler;
    return kind;
}

}  // namespace

ToolKind BuildToolKind(const std::string& toolPath) { return toolKind(toolPath, false); }
ToolKind SourceToolKind(const std::string& toolPath) { return toolKind(toolPath, true); }

void WaitForExit(Session& s, ProcessId id) {
    if (!id.valid())
        return;
    const std::int64_t start = s.clock.nowMs();
    for (;;) {
        const bool ended = s.processes.exitCode(id).has_value();
        s.ui.processEvents();
        if (ended || s.clock.nowMs() - start > kExitWaitMs)
            return;
        s.clock.sleepMs(kPollMs);
    }
}

namespace {

// With no HEX file yet, the source is asked for and names the HEX file.
// Returns the base: the HEX path without "hex"; nullopt when no source.
std::optional<std::string> chooseBuildSource(Session& s, bool compiler) {
    FileDialogRequest request;
    request.title = compiler ? "HEXファイルが未指定なので、コンパイラを行うソースファイルを指定してください。"
                             : "HEXファイルが未指定なので、アセンブルを行うソースファイルを指定してください。";
    request.filter = compiler ? "Cファイル|*.c|全てのファイル|*.*" : "asmファイル|*.asm|全てのファイル|*.*";
    request.startDir = SettingText(s.settings, "OPEN_DIR0");
    const auto chosen = s.ui.openFileDialog(request);
    const std::size_t extLength = compiler ? 1 : 3;
    // A name without that extension would make the HEX path (deleted
    // before the build) some other file.
    if (!chosen || !FileExists(*chosen) || chosen->size() <= extLength ||
        (*chosen)[chosen->size() - extLength - 1] != '.') {
        ShowNote(s, kNoSource);
        return std::nullopt;
    }
    const std::string base = dropLast(*chosen, extLength);
    s.loader.hexPath = base + "hex";
    s.settings.setValue("OPEN_DIR0", folderOf(*chosen));
    return base;
}

// The tool's options as arguments; nullopt, said, when there is no tool or
// the options cannot be split.
std::optional<std::vector<std::string>> toolOptions(Session& s) {
    const std::string& tool = s.run.asmToolPath;
    if (tool.empty() || !FileExists(tool)) {
        s.ui.messageBox(MsgIcon::Information, "", kNoTool);
        return std::nullopt;
    }
    auto args = ToolArguments(tool, SettingText(s.settings, "AsmOption", ToolOwnOptions(tool)), s.device.name);
    if (!args)
        ShowNote(s, Tone::Alert, kBadOptions);
    return args;
}

// The command line, the error file and the folder, with the 'd' option.
void showBuildDiagnostics(Session& s, const std::string& base, const std::string& sourceName,
                          const std::string& workDir) {
    const std::string after = TrimBlanks(SettingText(s.settings, "AsmAfter"));
    std::string text = "デバック情報";
    for (int i = 0; i < 48; ++i)
        text += "　";
    text += "\r\n\r\nｼｪﾙ起動ｺﾏﾝﾄﾞ \t" + s.run.asmToolPath + " " +
            SettingText(s.settings, "AsmOption", ToolOwnOptions(s.run.asmToolPath)) + " " +
            sourceName + "\r\n";
    text += "ｴﾗｰ時に開くﾌｧｲﾙ名\t" + (after.empty() ? after : base + after) + "\r\n";
    text += "ｶﾚﾝﾄﾃﾞｨﾚｸﾄﾘ\t" + workDir;
    s.ui.messageBox(MsgIcon::Information, "", text);
}

// Starts the tool in workDir and waits for it, then lets its files settle.
void runTool(Session& s, const std::vector<std::string>& args, const std::string& workDir, const ToolOutput& output) {
    const std::string& tool = s.run.asmToolPath;
    WaitForExit(s, output.catchFile().empty() ? s.processes.start(tool, args, workDir)
                                              : s.processes.startLogged(tool, args, workDir, output.catchFile()));
    s.ui.processEvents();
    s.clock.sleepMs(kSettleMs);
}

// After the tool: reload the new HEX file, or put the old one back and show
// what the tool said. A failed build keeps the image as it was.
void judgeBuild(Session& s, ToolKind kind, const std::string& base, const ToolOutput& output, OldHex& old) {
    const std::string& hex = s.loader.hexPath;
    bool built = FileExists(hex);
    if (kind == ToolKind::AskingCompiler) {
        ShowNote(s, "");
        built = s.ui.messageBox(MsgIcon::Information, "", kAskCompiled, MsgButtons::YesNo) == MsgAnswer::Yes && built;
    }
    if (built) {
        old.drop();
        output.discard();
        reload(s, kBuildReloaded);
        if (kind != ToolKind::AskingCompiler && !hasEndRecord(hex))
            ShowNote(s, Tone::Alert, kHexCut);
        return;
    }
    std::string where;
    const bool back = old.putBack(where);
    openErrorFile(s, base, output.keep());
    const std::string failed = isCompiler(kind) ? kCompileError : kAssembleError;
    ShowNote(s, back ? Tone::Normal : Tone::Alert, back ? failed : failed + kHexNotBack + where);
}

}  // namespace

void BuildAndReload(Session& s) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s))
        return;
    ShowNote(s, kBuilding);
    const ToolKind kind = BuildToolKind(s.run.asmToolPath);
    const bool compiler = isCompiler(kind);
    const auto base = s.loader.hexPath.empty() ? chooseBuildSource(s, compiler)
                                               : std::optional(dropLast(s.loader.hexPath, 3));
    if (!base)
        return;
    // The title follows the image: the reload names the file, a failed build
    // leaves the image and its name as they were.
    const std::string source = *base + (compiler ? "c" : "asm");
    auto args = toolOptions(s);
    if (!args)
        return;
    // A HEX file without its source (a vendor's file) is never given up for a build.
    if (!FileExists(source)) {
        ShowNote(s, Tone::Alert, kNoSourceFile + source);
        return;
    }
    OldHex old(s.loader.hexPath);
    if (std::string error; !old.moveAside(error)) {
        ShowNote(s, Tone::Alert, kHexNotMoved + s.loader.hexPath + " : " + error);
        return;
    }

    const std::string sourceName = fileNameOf(source);
    args->push_back(sourceName);
    // The tool finds the source by its name: it runs in the source's folder.
    const std::string workDir = folderOf(source);
    if (s.run.commandOption.find('d') != std::string::npos)
        showBuildDiagnostics(s, *base, sourceName, workDir);

    // An error file that is the source or the HEX file itself is only opened.
    const std::string errorFile = errorFilePath(s, *base);
    const ToolOutput output(errorFile == source || errorFile == s.loader.hexPath ? "" : errorFile, *base);
    {
        const BuildBusy busy(s);
        runTool(s, *args, workDir, output);
    }
    judgeBuild(s, kind, *base, output, old);
}

void ReloadHex(Session& s) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s))
        return;
    if (s.loader.hexPath.empty()) {
        FileDialogRequest request;
        request.title = "HEXファイルが未指定なので、ロードするHEXファイルを指定してください。";
        request.startDir = SettingText(s.settings, "OPEN_DIR0");
        request.filter = "HEXファイル|*.HEX|全てのファイル|*.*";
        const auto chosen = s.ui.openFileDialog(request);
        if (!chosen) {
            ShowNote(s, kHexNotLoaded);
            return;
        }
        s.loader.hexPath = *chosen;
        if (!FileExists(*chosen)) {
            ShowNote(s, kHexNotLoaded);
            return;
        }
    }
    reload(s, kHexReloaded);
}

void ChooseSource(Session& s) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s))
        return;
    const bool compiler = isCompiler(SourceToolKind(s.run.asmToolPath));
    FileDialogRequest request;
    request.title = "アセンブル・コンパイルするソースファイルの場所を指定してください。";
    request.startDir = SettingText(s.settings, "OPEN_DIR0");
    request.filter = compiler ? "Cファイル|*.C|全てのファイル|*.*" : "ASMファイル|*.ASM|全てのファイル|*.*";
    const auto chosen = s.ui.openFileDialog(request);
    if (!chosen || chosen->empty())
        return;
    // The HEX file beside the source, named after it: cut at the last "." of
    // the file name, never in a folder's name.
    const std::string name = fileNameOf(*chosen);
    const auto dot = name.rfind('.');
    s.loader.hexPath = chosen->substr(0, chosen->size() - name.size()) +
                       (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + ".hex";
    // Nothing is loaded, so the title keeps naming the image's file.
    if (FileExists(*chosen))
        s.settings.setValue("OPEN_DIR0", folderOf(*chosen));
}

void OpenInEditor(Session& s) {
    FileDialogRequest request;
    request.title = "ソースファイルを開く";
    request.startDir = SettingText(s.settings, "OPEN_DIR0");
    request.filter = "ソースファイル|*.ASM;*.C|全てのファイル|*.*";
    const auto chosen = s.ui.openFileDialog(request);
    if (!chosen || chosen->empty())
        return;
    openFile(s, *chosen);
}

}  // namespace vx
