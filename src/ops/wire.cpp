#include "ops/wire.h"

#include <algorithm>
#include <cstdint>

namespace vx {

namespace {

// The answer to the last word is the end code when it begins with it, unless
// a refusal begins the same way (the 14-bit abort).
bool IsAbort(const Bytes& answer, const protocol::AbortRule& rule, bool last) {
    if (last && At(answer, 0) == protocol::kEndCode && !(rule.position == 0 && rule.code == protocol::kEndCode))
        return false;
    return answer.size() > 1 && (At(answer, rule.position) == rule.code || (rule.twoBytesAbort && answer.size() == 2));
}

}  // namespace

void SendLetters(BoardLink& link, const char* letters) {
    for (const char* letter = letters; *letter; ++letter)
        link.SendCommand(*letter);
}

std::optional<Bytes> Receive(BoardLink& link, int n, Wait wait, Progress* progress) {
    const std::int64_t start = link.clock.nowMs();
    bool arrived = true;
    bool first = true;
    for (int got = link.ReceivedCount(); got < n; got = link.ReceivedCount()) {
        if (progress)
            progress->moved(n, got);
        const int want = progress ? got + 1 : n;
        if (wait.idle) {
            arrived = link.WaitForBytesIdle(want, wait.ms, first ? wait.firstByteMs : 0);
        } else {
            const int left = wait.ms - static_cast<int>(link.clock.nowMs() - start);
            arrived = link.WaitForBytes(want, std::max(left, 0));
        }
        if (!arrived)
            break;
        first = false;
    }
    if (progress)
        progress->ended(n);
    if (!arrived)
        return std::nullopt;
    return link.ReadAll();
}

bool HasEndCode(const Bytes& reply, std::size_t position) { return At(reply, position) == protocol::kEndCode; }

Transfer SendAcknowledged(BoardLink& link, const Bytes& image, Wait wait, const protocol::AbortRule& rule,
                          Progress* progress, int progressMax, int pauseMs) {
    const int words = static_cast<int>(image.size() / 2);
    if (progressMax <= 0)
        progress = nullptr;
    auto progressOff = [&] {
        if (progress)
            progress->ended(progressMax);
    };
    for (int k = 0;; ++k) {
        if (k == words)
            progressOff();
        else
            link.ui.processEvents();
        auto answer = link.ReceiveAnswer(wait.ms, rule.shape);
        if (!answer) {
            progressOff();
            return {Transfer::Silent, k, {}};
        }
        if (IsAbort(*answer, rule, k == words)) {
            progressOff();
            return {Transfer::Aborted, k, std::move(*answer)};
        }
        if (k == words)
            return {Transfer::Sent, words, std::move(*answer)};
        if (progress)
            progress->moved(progressMax, 2 * k);
        link.SendBytes(Bytes{image[2 * k], image[2 * k + 1]});
        if (pauseMs > 0)
            link.Pause(pauseMs);
    }
}

}  // namespace vx
