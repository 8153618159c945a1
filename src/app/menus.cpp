#include "app/menus.h"

#include "app/startup.h"
#include "base/convert.h"
#include "ops/detect.h"
#include "session/status.h"

namespace vx {

namespace {

bool toggle(Session& s, const char* entry) {
    auto& menu = s.view.menus[entry];
    menu.checked = !menu.checked;
    return menu.checked;
}

std::string spaces(int n, const char* space = " ") {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += space;
    return text;
}

}  // namespace

void ToggleBlankSkip(Session& s) {
    s.settings.setValue("SkipMode", toggle(s, "mnuBlankSkip") ? "-1" : "0");
    UpdateProgramButtonCaption(s);
    s.ui.viewChanged();
}

void ToggleCommMode1(Session& s) {
    s.link.commMode1 = toggle(s, "mnuComMode1");
    s.settings.setValue("mnuComMode1", s.link.commMode1 ? "-1" : "0");
    ShowNote(s, "通信が正常に行われないとき、この設定を有効にしてみてください。");
}

void ToggleStoredMark(Session& s, const char* entry, const char* key) {
    s.settings.setValue(key, toggle(s, entry) ? "-1" : "0");
    s.ui.viewChanged();
}

void ToggleKeepEeprom(Session& s) {
    if (!RefuseWhileLocked(s))
        ToggleStoredMark(s, "mnuKeepEeprom", "KeepEeprom");
}

void ToggleBoardInformation(Session& s) {
    const bool shown = toggle(s, "mnuBoardInfomation");
    s.settings.setValue("mnuBoardInfomation", shown ? "True" : "False");
    s.view.board.visible = shown;
    s.ui.viewChanged();
}

std::string InformationText() {
    return "プログラムコードファイルを読み込む際はチェックサムの確認をしていませんが、プログラムコードを"
           "保存するときは、正規のチェックサムを生成しています。 "
           "したがい、ファイルをエディタなどで、直接、修正し、その後ロード、保存することで  "
           "プログラムコードの変更を行うことができます。" +
           spaces(33) + spaces(74) + "\r\n\r\n" + "重要" + spaces(70) + "\r" +
           "PIC16F8XXシリーズのプログラミングを行う時は、PB3/PGM端子をGNDに接続して下さい。" + spaces(5, "　") +
           "\r\n\r" + "PIC16C715,PIC16C642,PIC16C662は書き込みプロトコルが異なるためサポートしていません。 " +
           "\r\n\r\n" + "PIC16C52,PIC14000,PIC16C92Xは未対応です。 " + "\r\n" + " \r\n \r\n \r\n \r\n ";
}

void ShowInformation(Session& s) { s.ui.messageBox(MsgIcon::Information, "ｲﾝﾌｫﾒｰｼｮﾝ", InformationText()); }

void ExplainFirmwareLabel(Session& s) {
    ShowNote(s, "ライターのファームウエアのバージョンです。ライターとの通信が正常に行われたときに表示されます。",
             "ダブルクリックでライターに接続し、ファームウエアバージョンを読み出します。");
}

void ExplainVersionLabel(Session& s) {
    ShowNote(s, "デバイス情報設定ファイルのバージョンです。\r新製品はこのファイルに製品情報を追加することでサポートできます。");
}

void ExplainChecksumLabel(Session& s) { ShowNote(s, "プログラムメモリのみのチェックサム計算結果を表示します。"); }

void SearchBoardFromLabel(Session& s) {
    if (!RefuseWhileBusy(s))
        DetectBoard(s);
}

bool ExitRequested(Session& s) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s))
        return false;
    if (s.link.port.isOpen())
        s.link.port.close();
    return true;
}

AboutText AboutWindowText() {
    const std::string title = "Vormex V3";
    return {title + "のﾊﾞｰｼﾞｮﾝ情報", title, "PIC シリアルライター コントロールプログラム", VersionLabel(),
            "サポートページ : https://vormex.example/support/"};
}

void RevealSerialProgramming(Session& s) {
    s.view.menus["mnuSerialPgmSetting"].visible = true;
    s.view.menus["nmuI"].visible = true;
    s.ui.viewChanged();
}

void OpenHelp(Session& s) {
    const std::string folder = s.run.manualDir.empty() ? s.run.appDir + "manual/" : s.run.manualDir;
    if (!FileExists(folder + "index.html")) {
        ShowNote(s, Tone::Alert, "ヘルプファイル 'index.html' が、以下のフォルダーに有りませんでした。", folder);
        return;
    }
    if (!s.processes.showHelp(folder + "index.html"))
        ShowNote(s, Tone::Alert, "ヘルプファイル 'index.html' を表示できませんでした。");
}

}  // namespace vx
