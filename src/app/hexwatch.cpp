#include "app/hexwatch.h"

#include "app/menus.h"
#include "image/hexcheck.h"
#include "link/family.h"
#include "session/status.h"
#include "toolchain/build.h"

namespace vx {

namespace {

bool marked(const Session& s, const char* entry) {
    const auto it = s.view.menus.find(entry);
    return it != s.view.menus.end() && it->second.checked;
}

}  // namespace

void HexWatch::follow(const std::string& path) {
    path_ = path;
    files_.watch(path);
    loaded_ = path.empty() ? std::nullopt : files_.stamp(path);
    settling_ = false;
    ownWrites_ = s_.loader.ownWrites;
}

bool HexWatch::tick() {
    if (path_.empty() || !marked(s_, "mnuWatchHex"))
        return false;
    const auto now = files_.stamp(path_);
    const std::int64_t t = clock_.nowMs();
    // What the program wrote itself (Save As) is the image already.
    if (ownWrites_ != s_.loader.ownWrites) {
        ownWrites_ = s_.loader.ownWrites;
        loaded_ = now;
        settling_ = false;
        return false;
    }
    if (!settling_ && now == loaded_)
        return false;
    if (!settling_ || now != candidate_) {
        candidate_ = now;  // a new change: it settles from now
        since_ = t;
        settling_ = true;
        return true;
    }
    // Gone (an assembler deletes, then writes): wait for it to come back.
    if (!now || t - since_ < kWatchSettleMs)
        return true;
    // Not under a running command, nor under the operator's screen: the
    // reload waits for them to end.
    if (s_.view.busy || s_.view.productionLocked)
        return true;
    settling_ = false;
    // Back as it was loaded (a failed build puts the old file back): no change.
    if (now == loaded_)
        return false;
    loaded_ = now;
    settled(*now);
    return false;
}

void HexWatch::settled(const FileStamp& stamp) {
    lastProgram_.reset();
    if (!stamp.regular) {
        ShowNote(s_, Tone::Alert, "監視中のHEXファイルがファイルではなくなりました。書込みは行いません。", path_);
        return;
    }
    const char* const unreadable = "監視中のHEXファイルを読み込めませんでした。書込みは行いません。";
    // The stamp changes when it becomes readable: it is loaded then.
    if (!stamp.readable) {
        ShowNote(s_, Tone::Alert, unreadable, path_);
        return;
    }
    // Nobody looks at a reload before it is written: the strict check, and a
    // file that fails it leaves the loaded image as it was.
    HexFileCheck check;
    switch (CheckHexFile(path_, check)) {
    case HexFault::None:
        break;
    case HexFault::NoRecords:
        ShowNote(s_, Tone::Alert, "監視中のHEXファイルにHEXレコードがありません。書込みは行いません。", path_);
        return;
    case HexFault::Unreadable:
        ShowNote(s_, Tone::Alert, unreadable, check.error);
        return;
    case HexFault::BadLine:
        ShowNote(s_, Tone::Alert, "監視中のHEXファイルに誤りがあります。書込みは行いません。", check.error);
        return;
    }
    const int loads = s_.loader.loads;
    s_.loader.hexPath = path_;
    ReloadHex(s_);
    if (s_.loader.loads == loads) {
        ShowNote(s_, Tone::Alert, unreadable, path_);
        return;
    }
    if (s_.loader.contents.dataRecords == 0) {
        ShowNote(s_, Tone::Alert, "監視中のHEXファイルにHEXレコードがありません。書込みは行いません。", path_);
        return;
    }
    ++reloads_;
    ShowNote(s_, "HEXファイルの変更を検出し、再ロードしました。");
    if (!marked(s_, "mnuAutoProgram"))
        return;
    if (const std::string refusal = AutoProgramRefusal(s_); !refusal.empty()) {
        ShowNote(s_, Tone::Alert, refusal);
        return;
    }
    // Nobody looks at this run: the plan answers its questions or refuses.
    const WriteSource source = s_.run.writeSource;
    s_.run.writeSource = WriteSource::Unattended;
    lastProgram_ = RunProgram(s_);
    s_.run.writeSource = source;
}

std::string AutoProgramRefusal(const Session& s) {
    if (!Traits(s.device.family).flash)
        return "このデバイスは消去できないので、自動書込みは行いません。";
    if (s.view.busy)
        return "ライターと通信中なので、自動書込みは行いません。";
    if (s.ops.programHook)
        return "シリアルデータプログラミング中なので、自動書込みは行いません。";
    return "";
}

void ToggleWatchHex(Session& s) {
    if (!RefuseWhileLocked(s))
        ToggleStoredMark(s, "mnuWatchHex", "WatchHex");
}

void ToggleAutoProgram(Session& s) { ToggleStoredMark(s, "mnuAutoProgram", "AutoProgram"); }

}  // namespace vx
