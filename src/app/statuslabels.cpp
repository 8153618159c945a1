#include "app/statuslabels.h"

#include "app/shell.h"

namespace vx {

void FirmwareLabelClicked(Session& s) {
    ShowNote(s, "ライターのファームウエアのバージョンです。ライターとの通信が正常に行われたときに表示されます。",
             "ダブルクリックでライターに接続し、ファームウエアバージョンを読み出します。");
}

void VerLabelClicked(Session& s) {
    ShowNote(s, "デバイス情報設定ファイルのバージョンです。\r新製品はこのファイルに製品情報を追加することでサポートできます。");
}

void ChecksumLabelClicked(Session& s) { ShowNote(s, "プログラムメモリのみのチェックサム計算結果を表示します。"); }

}  // namespace vx
