#include "ops/wire.h"

#include <algorithm>

#include "link/family.h"
#include "ops/detect.h"
#include "session/status.h"

namespace vx {

namespace {

// The answer to the last word is the end code when it begins with it, unless
// a refusal begins the same way (the 14-bit abort).
bool IsAbort(const Bytes& answer, const AbortRule& rule, bool last) {
    if (last && At(answer, 0) == protocol::kEndCode && !(rule.position == 0 && rule.code == protocol::kEndCode))
        return false;
    return answer.size() > 1 && (At(answer, rule.position) == rule.code || (rule.twoBytesAbort && answer.size() == 2));
}

}  // namespace

void LinkFault(Session& s) {
    s.ops.linkFault = true;
    if (!s.link.IsOpen())
        ShowBoardNotFound(s);
}

void SendLetters(Session& s, protocol::BoardOp command) {
    for (char letter : CommandLetters(command, s.device.family))
        s.link.SendCommand(letter);
}

std::optional<Bytes> Receive(Session& s, int n, Wait wait, bool progress) {
    const std::int64_t start = s.clock.nowMs();
    bool arrived = true;
    bool first = true;
    for (int got = s.link.ReceivedCount(); got < n; got = s.link.ReceivedCount()) {
        if (progress)
            ShowProgress(s, true, 0, n, got);
        const int want = progress ? got + 1 : n;
        if (wait.idle) {
            arrived = s.link.WaitForBytesIdle(want, wait.ms, first ? wait.firstByteMs : 0);
        } else {
            const int left = wait.ms - static_cast<int>(s.clock.nowMs() - start);
            arrived = s.link.WaitForBytes(want, std::max(left, 0));
        }
        if (!arrived)
            break;
        first = false;
    }
    if (progress)
        ShowProgress(s, false, 0, n, 0);
    if (!arrived) {
        LinkFault(s);
        return std::nullopt;
    }
    return s.link.ReadAll();
}

bool HasEndCode(Session& s, const Bytes& reply, std::size_t position) {
    if (At(reply, position) == protocol::kEndCode)
        return true;
    LinkFault(s);
    return false;
}

Transfer SendAcknowledged(Session& s, const Bytes& image, Wait wait, const AbortRule& rule, int progressMax,
                          int pauseMs) {
    const int words = static_cast<int>(image.size() / 2);
    auto progressOff = [&] {
        if (progressMax > 0)
            ShowProgress(s, false, 0, progressMax, 0);
    };
    for (int k = 0;; ++k) {
        if (k == words)
            progressOff();
        else
            s.ui.processEvents();
        auto answer = s.link.ReceiveAnswer(wait.ms, rule.shape);
        if (!answer) {
            progressOff();
            LinkFault(s);
            return {Transfer::Silent, k, {}};
        }
        if (IsAbort(*answer, rule, k == words)) {
            progressOff();
            return {Transfer::Aborted, k, std::move(*answer)};
        }
        if (k == words)
            return {Transfer::Sent, words, std::move(*answer)};
        if (progressMax > 0)
            ShowProgress(s, true, 0, progressMax, 2 * k);
        s.link.SendBytes(Bytes{image[2 * k], image[2 * k + 1]});
        if (pauseMs > 0)
            s.clock.sleepMs(pauseMs);
    }
}

}  // namespace vx
