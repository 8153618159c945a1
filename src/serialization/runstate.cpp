#include "serialization/runstate.h"

#include <algorithm>
#include <random>

namespace vx {

const char* NumberStateName(NumberState state) {
    switch (state) {
    case NumberState::Reserved: return "reserved";
    case NumberState::Writing: return "writing";
    case NumberState::Recorded: return "recorded";
    case NumberState::Returned: return "returned";
    case NumberState::Settle: return "settle";
    case NumberState::Failed: return "failed";
    }
    return "";
}

std::optional<NumberState> NumberStateFromName(const std::string& name) {
    for (auto s : {NumberState::Reserved, NumberState::Writing, NumberState::Recorded, NumberState::Returned,
                   NumberState::Settle, NumberState::Failed})
        if (name == NumberStateName(s))
            return s;
    return std::nullopt;
}

namespace {

using enum NumberState;
using enum NumberStep;
constexpr NumberMove kMoves[] = {
    {Retake, Returned, Reserved},
    {Write, Reserved, Writing},
    {Record, Writing, Recorded},
    {Record, Settle, Recorded},
    {GiveBack, Reserved, Returned},
    {GiveBack, Writing, Returned},
    {GiveBack, Settle, Returned},
    {Spoil, Writing, Failed},
    {Spoil, Settle, Failed},
    {Unknown, Writing, Settle},
    {Abandon, Reserved, Returned},
    {Abandon, Writing, Settle},
    {SettleUsed, Settle, Recorded},
    {SettleFree, Settle, Returned},
};

}  // namespace

std::span<const NumberMove> NumberMoves() { return kMoves; }

std::optional<NumberState> NumberAfter(NumberStep step, NumberState from) {
    for (const auto& move : kMoves)
        if (move.step == step && move.from == from)
            return move.to;
    return std::nullopt;
}

std::int64_t RandomToken() {
    std::random_device random;
    const std::uint64_t bits = (std::uint64_t{random()} << 32 | random()) & 0x7FFFFFFFFFFFFFFF;
    return bits ? static_cast<std::int64_t>(bits) : 1;
}

std::int64_t SerialRunState::valueAt(std::int64_t index) const {
    if (settings.source == SerialSource::Arithmetic)
        return SerialValueAt(settings, index);
    const auto value = planned.find(index);
    return value == planned.end() ? -1 : value->second;
}

std::int64_t SerialRunState::count(NumberState state) const {
    return std::count_if(held.begin(), held.end(), [state](const HeldNumber& h) { return h.state == state; });
}

std::int64_t SerialRunState::recorded() const {
    return nextIndex - static_cast<std::int64_t>(held.size()) + count(NumberState::Recorded);
}

std::vector<std::int64_t> SerialRunState::values(NumberState state) const {
    std::vector<std::int64_t> out;
    for (const auto& h : held)
        if (h.state == state)
            out.push_back(valueAt(h.index));
    return out;
}

std::optional<std::int64_t> SerialRunState::nextValue() const {
    if (!movedTo.empty())
        return std::nullopt;
    for (const auto& h : held)
        if (h.state == NumberState::Returned)
            return valueAt(h.index);
    if (nextIndex < settings.quantity)
        return valueAt(nextIndex);
    return std::nullopt;
}

bool SerialRunState::inProgress() const {
    return movedTo.empty() && (nextValue() || count(NumberState::Reserved) + count(NumberState::Writing) +
                                                      count(NumberState::Settle) > 0);
}

}  // namespace vx
