#include "ops/detect.h"

#include "link/comport.h"
#include "link/protocol.h"
#include "session/status.h"

namespace vx {

namespace {

const char* const kChoosePortHint = "メニューバーの [オプション] から [ＣＯＭポート設定] を選択してください。";

std::string ComName(const Session& s) { return "COM" + std::to_string(s.link.portNumber); }

void SetFirmwareLabel(Session& s, const std::string& caption, std::uint32_t colour) {
    s.view.firmwareLabel.caption = caption;
    s.view.firmwareLabel.backColour = colour;
    s.ui.viewChanged();
}

// Takes the identification reply; true when it comes from our board.
bool TakeIdentification(Session& s) {
    Bytes reply = s.link.ReadAll();
    if (reply.size() > static_cast<std::size_t>(protocol::kFirmwareIdChars))
        reply.resize(protocol::kFirmwareIdChars);
    s.link.firmwareId = BoardLink::BytesAsText(reply);
    return s.link.firmwareId.rfind(protocol::kBoardSignature, 0) == 0;
}

void ShowFound(Session& s) {
    s.link.boardFound = true;
    ShowNote(s, "ライターを " + ComName(s) + "に検出しました。");
    // Nothing in the simulated board's answer tells it from a real one.
    const bool simulated = ComDevicePath(s.settings, s.link.portNumber) == kSimPortName;
    SetFirmwareLabel(s, s.link.firmwareId + " : " + ComName(s) + (simulated ? kSimulatedBoardMark : ""),
                     kColourYellow);
}

void ShowUnreadableFirmware(Session& s) {
    s.link.boardFound = false;
    ShowNote(s, std::string("ファームウエアバージョンを読み出せませんでした。\r") + kChoosePortHint);
}

}  // namespace

void ShowBoardNotFound(Session& s) {
    s.link.boardFound = false;
    SetFirmwareLabel(s, ComName(s) + " : ライター未接続", kColourButtonFace);
}

bool OpenBoardPort(Session& s) {
    if (s.link.IsOpen())
        return true;
    const std::string path = ComDevicePath(s.settings, s.link.portNumber);
    const PortOpenResult result = path.empty() ? PortOpenResult::Failed : s.link.Open(path);
    if (result == PortOpenResult::Ok)
        return true;
    ShowBoardNotFound(s);
    if (result == PortOpenResult::InUse) {
        ShowNote(s, "他のソフトウエアが、すでに通信ポート使用しています。\r"
                    "通信ポートを使用しているソフトウエアを終了してください。");
        s.ui.messageBox(MsgIcon::Critical, "",
                        "他のソフトウエアが、すでに通信ポート使用しています。　　　　\r\n"
                        "通信ポートを使用しているソフトウエアを終了してください。　　　　");
    } else if (result == PortOpenResult::PermissionDenied) {
        ShowNote(s, Tone::Alert, path + " を開く権限がありません。");
        s.ui.messageBox(MsgIcon::Critical, "ｲﾝﾌｫﾒｰｼｮﾝ", PortPermissionText(path));
    } else {
        ShowNote(s, "通信ポートが使用できませんでした。\r");
        s.ui.messageBox(MsgIcon::Critical, "ｲﾝﾌｫﾒｰｼｮﾝ",
                        "通信ポートが使用できませんでした。　他のシリアルポートを選択して下さい。　　　\r\n");
    }
    return false;
}

void AskBoardIdentity(Session& s) {
    BoardLink& link = s.link;
    // A port that cannot drive RTS (a pseudo-terminal) still carries the data.
    link.port.setRts(!link.commMode1);
    link.DiscardInput();
    link.SendCommand(protocol::kIdentify);
    link.Pause(protocol::kDetectSettleMs);
    s.ui.processEvents();
    link.DiscardInput();
    link.SendCommand(protocol::kIdentify);
}

void DetectBoard(Session& s) {
    BoardLink& link = s.link;
    link.HungUp();
    if (link.boardFound)
        return;
    if (link.portNumber == 0) {
        s.ui.messageBox(MsgIcon::Information, "", std::string("通信ポートを選んでください。\r") + kChoosePortHint);
        return;
    }
    ShowNote(s, "ライターを探しています..... ");
    link.rawReplies = false;
    if (!OpenBoardPort(s))
        return;
    AskBoardIdentity(s);

    if (!link.WaitForBytes(protocol::kIdentifyReplyBytes, protocol::kIdentifyTimeoutMs)) {
        link.boardFound = false;
        const int count = link.ReceivedCount();
        const std::string text = link.ReadAllText();
        ShowNote(s, std::string("ライターを検出できませんでした。") + kChoosePortHint,
                 "　（受信バイト数： " + std::to_string(count) + "byte  , 受信データ： [" + text + "]");
        SetFirmwareLabel(s, ComName(s) + " : ライター未接続", kColourButtonFace);
        return;
    }
    if (TakeIdentification(s)) {
        ShowFound(s);
        link.detectedFirmwareId = link.firmwareId;
    } else {
        ShowUnreadableFirmware(s);
        SetFirmwareLabel(s, ComName(s) + " : ライター未接続", kColourButtonFace);
    }
    link.rawReplies = true;
}

BoardCheck CheckBoard(Session& s) {
    BoardLink& link = s.link;
    link.HungUp();
    link.rawReplies = false;
    link.DiscardInput();
    if (!OpenBoardPort(s))
        return BoardCheck::PortUnavailable;
    for (char c : {protocol::kReset, protocol::kReset, protocol::kReset, protocol::kIdentify})
        link.SendCommand(c);

    if (!link.WaitForBytes(protocol::kIdentifyReplyBytes, protocol::kIdentifyTimeoutMs)) {
        ShowBoardNotFound(s);
        ShowNote(s, Tone::Alert, std::string("ライターを検出できませんでした。\r\n") + kChoosePortHint +
                        "\r\nライターのＢＵＳＹ ＬＥＤが消灯しないときは、ライターの電源を再投入してください。");
        return BoardCheck::Silent;
    }
    BoardCheck result = BoardCheck::Foreign;
    if (TakeIdentification(s)) {
        ShowFound(s);
        result = BoardCheck::Ready;
    } else {
        ShowUnreadableFirmware(s);
        s.view.firmwareLabel.backColour = kColourButtonFace;
        s.ui.viewChanged();
    }
    link.rawReplies = true;
    return result;
}

}  // namespace vx
