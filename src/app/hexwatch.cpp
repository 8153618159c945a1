#include "app/hexwatch.h"

#include "app/menus.h"
#include "link/family.h"
#include "session/shell.h"
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
}

bool HexWatch::tick() {
    if (path_.empty() || !marked(s_, "mnuWatchHex"))
        return false;
    const auto now = files_.stamp(path_);
    const std::int64_t t = clock_.nowMs();
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
    loaded_ = now;
    settled(*now);
    return false;
}

void HexWatch::settled(const FileStamp& stamp) {
    lastProgram_.reset();
    if (!stamp.regular) {
        ShowNote(s_, "red監視中のHEXファイルがファイルではなくなりました。書込みは行いません。", path_);
        return;
    }
    const int loads = s_.loader.loads;
    s_.loader.hexPath = path_;
    ReloadHex(s_);
    if (s_.loader.loads == loads) {
        ShowNote(s_, "red監視中のHEXファイルを読み込めませんでした。書込みは行いません。", path_);
        return;
    }
    if (s_.loader.contents.dataRecords == 0) {
        ShowNote(s_, "red監視中のHEXファイルにHEXレコードがありません。書込みは行いません。", path_);
        return;
    }
    ++reloads_;
    ShowNote(s_, "HEXファイルの変更を検出し、再ロードしました。");
    if (!marked(s_, "mnuAutoProgram"))
        return;
    if (const std::string refusal = AutoProgramRefusal(s_); !refusal.empty()) {
        ShowNote(s_, "red" + refusal);
        return;
    }
    s_.run.overwriteYes = true;
    lastProgram_ = RunProgram(s_);
    s_.run.overwriteYes = false;
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
