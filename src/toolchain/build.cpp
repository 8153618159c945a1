#include "toolchain/build.h"
#include "toolchain/toolsettings.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/convert.h"
#include "base/settings.h"
#include "image/hexfile.h"
#include "image/pcbufferops.h"
#include "session/shell.h"

namespace vx {

namespace {

const char* const kBuilding = "HEXファイル生成中です.....";
const char* const kNoSource = "ソースファイルをオープンできませんでした。";
const char* const kNoTool =
    "アセンブラ、または、コンパイラが指定されていません。\r\n\r\n"
    "メニューバの 【オプション】‥【MPASM.EXEの設定】から、MPASM.EXEの場所を指定してください。";
// Not in the original texts: the options are split without a shell, so an
// open quote cannot be guessed at.
const char* const kBadOptions = "redアセンブラ・コンパイラのオプションの引用符が閉じていません。";
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
// Not in the original texts: the tool left the HEX file without its end record.
const char* const kHexCut = "redHEXファイルが最後まで書かれていません（終了レコードがありません）。";

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

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
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

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

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
    const std::string ext = trimmed(SettingText(s.settings, "AsmAfter"));
    return ext.empty() ? "" : base + ext;
}

// The error file, when configured and present.
void openErrorFile(Session& s, const std::string& base) {
    const std::string path = errorFilePath(s, base);
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
// it runs (it may write the error file itself, as a listing), then kept at
// the top of the error file so that a failed build shows what the tool said.
class ToolOutput {
public:
    ToolOutput(const std::string& errorFile, const std::string& base)
        : errorFile_(errorFile), catchFile_(errorFile.empty() ? "" : base + "tool-output"),
          before_(lastWrite(errorFile)) {}
    const std::string& catchFile() const { return catchFile_; }

    void keep() const {
        std::ifstream in(catchFile_, std::ios::binary);
        std::string said(kToolOutputKept, '\0');
        in.read(said.data(), static_cast<std::streamsize>(said.size()));
        said.resize(static_cast<std::size_t>(in.gcount()));
        std::error_code ec;
        const auto total = std::filesystem::file_size(catchFile_, ec);
        in.close();
        discard();
        if (said.empty())
            return;
        if (!ec && total > said.size())
            said += "\r\n…（以降の出力 " + std::to_string(total - said.size()) + " バイトは省略しました）\r\n";
        std::string own;  // what the tool wrote there in this build
        if (const auto written = lastWrite(errorFile_); written && written != before_) {
            std::ifstream listing(errorFile_, std::ios::binary);
            own.assign(std::istreambuf_iterator<char>(listing), {});
        }
        std::ofstream out(errorFile_, std::ios::binary | std::ios::trunc);
        out << said << (own.empty() ? "" : "\r\n") << own;
    }
    void discard() const {
        std::error_code ignored;
        if (!catchFile_.empty())
            std::filesystem::remove(catchFile_, ignored);
    }

private:
    std::string errorFile_;
    std::string catchFile_;
    std::optional<std::filesystem::file_time_type> before_;
};

ToolKind toolKind(const std::string& toolPath, bool shortTests) {
    const std::string path = lower(toolPath);
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

std::optional<std::vector<std::string>> SplitShellWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (++i == text.size())
                return std::nullopt;
            word += text[i];
        } else if (c == '\'') {
            const auto close = text.find('\'', i + 1);
            if (close == std::string::npos)
                return std::nullopt;
            word += text.substr(i + 1, close - i - 1);
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i == text.size())
                    return std::nullopt;
                if (text[i] == '"')
                    break;
                // Inside double quotes a backslash escapes only these.
                if (text[i] == '\\' && i + 1 < text.size() && std::string("\\\"$`").find(text[i + 1]) != std::string::npos)
                    ++i;
                word += text[i];
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::string BuildWorkDir(const Session& s) {
    const std::string dir = SettingText(s.settings, "OPEN_DIR0");
    if (!dir.empty())
        return dir;
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

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

void BuildAndReload(Session& s) {
    if (RefuseWhileBusy(s))
        return;
    ShowNote(s, kBuilding);
    const ToolKind kind = BuildToolKind(s.run.asmToolPath);
    const bool compiler = isCompiler(kind);

    std::string base;
    if (s.loader.hexPath.empty()) {
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
            return;
        }
        base = dropLast(*chosen, extLength);
        s.loader.hexPath = base + "hex";
        s.settings.setValue("OPEN_DIR0", folderOf(*chosen));
    } else {
        base = dropLast(s.loader.hexPath, 3);
    }

    // The title follows the image: the reload names the file, a failed build
    // clears it.
    const std::string source = base + (compiler ? "c" : "asm");

    const std::string& tool = s.run.asmToolPath;
    if (tool.empty() || !FileExists(tool)) {
        s.ui.messageBox(MsgIcon::Information, "", kNoTool);
        return;
    }
    const std::string options = SettingText(s.settings, "AsmOption");
    auto args = ToolArguments(tool, options, s.device.name);
    if (!args) {
        ShowNote(s, kBadOptions);
        return;
    }

    // From here a failing step does not stop the next one.
    std::error_code ignored;
    std::filesystem::remove(s.loader.hexPath, ignored);

    const std::string sourceName = fileNameOf(source);
    args->push_back(sourceName);
    const std::string workDir = BuildWorkDir(s);

    if (s.run.commandOption.find('d') != std::string::npos) {
        const std::string after = trimmed(SettingText(s.settings, "AsmAfter"));
        std::string text = "デバック情報";
        for (int i = 0; i < 48; ++i)
            text += "　";
        text += "\r\n\r\nｼｪﾙ起動ｺﾏﾝﾄﾞ \t" + tool + " " + options + " " + sourceName + "\r\n";
        text += "ｴﾗｰ時に開くﾌｧｲﾙ名\t" + (after.empty() ? after : base + after) + "\r\n";
        text += "ｶﾚﾝﾄﾃﾞｨﾚｸﾄﾘ\t" + workDir;
        s.ui.messageBox(MsgIcon::Information, "", text);
    }

    // A folder that is gone leaves the tool in the current one, as a failed
    // change of directory would.
    const bool workDirExists = std::filesystem::is_directory(workDir, ignored);
    // An error file that is the source or the HEX file itself is only opened.
    const std::string errorFile = errorFilePath(s, base);
    const ToolOutput output(errorFile == source || errorFile == s.loader.hexPath ? "" : errorFile, base);
    const std::string runIn = workDirExists ? workDir : "";
    WaitForExit(s, output.catchFile().empty() ? s.processes.start(tool, *args, runIn)
                                              : s.processes.startLogged(tool, *args, runIn, output.catchFile()));
    s.ui.processEvents();
    s.clock.sleepMs(kSettleMs);

    if (kind == ToolKind::AskingCompiler) {
        ShowNote(s, "");
        ClearPcBuffer(s);
        if (s.ui.messageBox(MsgIcon::Information, "", kAskCompiled, MsgButtons::YesNo) == MsgAnswer::Yes) {
            output.discard();
            reload(s, kBuildReloaded);
        } else {
            output.keep();
            openErrorFile(s, base);
            ShowNote(s, kCompileError);
        }
        return;
    }
    if (FileExists(s.loader.hexPath)) {
        output.discard();
        reload(s, kBuildReloaded);
        if (!hasEndRecord(s.loader.hexPath))
            ShowNote(s, kHexCut);
        return;
    }
    ClearPcBuffer(s);
    output.keep();
    openErrorFile(s, base);
    ShowNote(s, compiler ? kCompileError : kAssembleError);
}

void ReloadHex(Session& s) {
    if (RefuseWhileBusy(s))
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
    const bool compiler = isCompiler(SourceToolKind(s.run.asmToolPath));
    FileDialogRequest request;
    request.title = "アセンブル・コンパイルするソースファイルの場所を指定してください。";
    request.startDir = SettingText(s.settings, "OPEN_DIR0");
    request.filter = compiler ? "Cファイル|*.C|全てのファイル|*.*" : "ASMファイル|*.ASM|全てのファイル|*.*";
    const auto chosen = s.ui.openFileDialog(request);
    if (!chosen || chosen->empty())
        return;
    // Cut at the first "." of the whole path, folders included.
    s.loader.hexPath = chosen->substr(0, chosen->find('.')) + ".hex";
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
