#include "sim/simboard.h"

#include <algorithm>

#include "link/protocol.h"

namespace vx {

namespace {

using protocol::kEndCode;

bool IsCountCommand(const std::string& l) {
    return l == "bs" || l == "bps" || l == "bpl" || l == "rps" || l == "rpl" || l == "rsp" ||
           l == "rsc" || l == "rsd" || l == "wps" || l == "wpl" || l == "wsp" || l == "wsc" ||
           l == "wef" || l == "wec" || l == "wed";
}

bool IsPrefix(const std::string& l) {
    return l == "b" || l == "r" || l == "w" || l == "bp" || l == "rp" || l == "rs" || l == "wp" ||
           l == "ws" || l == "we";
}

bool WritesConfigArea(const std::string& l) { return l == "wsc" || l == "wec"; }

}  // namespace

SimBoard::SimBoard(SimChip chip_) : chip(std::move(chip_)) {}

void SimBoard::receive(std::uint8_t byte, std::int64_t nowUs) {
    received.push_back(byte);
    nowUs_ = nowUs;
    if (state_ != State::Idle && nowUs - lastByteUs_ > kStaleCommandMs * 1000)
        finish();
    lastByteUs_ = nowUs;
    if (faults.silentAfterBytes != silentSetting_) {
        silentSetting_ = faults.silentAfterBytes;
        silentBase_ = repliedBytes_;
    }
    switch (state_) {
    case State::Idle:
        startCommand(byte);
        break;
    case State::Letters:
        letter(byte);
        break;
    case State::Count:
        buffer_.push_back(byte);
        if (buffer_.size() == 2) {
            count_ = buffer_[0] * 256 + buffer_[1];
            buffer_.clear();
            log.back().count = count_;
            execute();
        }
        break;
    case State::Data:
        dataByte(byte);
        break;
    }
}

void SimBoard::startCommand(std::uint8_t byte) {
    if (byte == protocol::kIdentify) {
        log.push_back({"?", -1, 0});
        std::string id = faults.foreignIdentification ? "PGM-BOARD-V1.00" : "TAVPIC-PGMV" + firmwareVersion;
        id.resize(protocol::kFirmwareIdChars, ' ');
        id += "\r\n";
        reply(std::vector<std::uint8_t>(id.begin(), id.end()));
        return;
    }
    if (byte == protocol::kReset) {
        log.push_back({"*", -1, 0});
        return;
    }
    if (byte == 'b' || byte == 'r' || byte == 'w') {
        letters_ = std::string(1, static_cast<char>(byte));
        state_ = State::Letters;
    }
}

void SimBoard::letter(std::uint8_t byte) {
    const std::string next = letters_ + static_cast<char>(byte);
    if (next == "bd" || next == "bD") {
        log.push_back({next, -1, 0});
        finish();
        chip.bulkErase();  // an EPROM chip ignores the erase sequence
        reply({endCode()});
        return;
    }
    if (IsCountCommand(next)) {
        letters_ = next;
        log.push_back({next, -1, 0});
        buffer_.clear();
        state_ = State::Count;
        return;
    }
    if (IsPrefix(next)) {
        letters_ = next;
        return;
    }
    // Not a command: start over with this byte.
    finish();
    startCommand(byte);
}

void SimBoard::execute() {
    const std::string& l = letters_;
    const int n = count_;
    if (l == "bs" || l == "bps" || l == "bpl") {
        int sum = 0xFFFF;
        int firstNonBlank = 0xFFFF;
        for (int i = 0; i < n; ++i) {
            const int w = chip.readProgramArea(i);
            sum &= w;
            if (w != chip.blankWord() && firstNonBlank == 0xFFFF)
                firstNonBlank = i;
        }
        sum &= chip.twelveBit() ? 0x0FFF : 0x3FFF;
        std::vector<std::uint8_t> r;
        if (l != "bs")
            r = {static_cast<std::uint8_t>(firstNonBlank >> 8), static_cast<std::uint8_t>(firstNonBlank)};
        r.push_back(static_cast<std::uint8_t>(sum >> 8));
        r.push_back(static_cast<std::uint8_t>(sum));
        r.push_back(endCode());
        finish();
        reply(r);
        return;
    }
    if (l == "rps" || l == "rpl" || l == "rsp" || l == "rsc") {
        finish();
        replyWords(n, l == "rsc");
        return;
    }
    if (l == "rsd") {
        std::vector<std::uint8_t> r;
        r.reserve(static_cast<std::size_t>(2 * n + 1));
        for (int i = 0; i < n; ++i) {
            r.push_back(0x3F);
            r.push_back(chip.readEeprom(i));
        }
        r.push_back(endCode());
        finish();
        reply(r);
        return;
    }
    // A write: acknowledge the count, then take the words.
    index_ = 0;
    state_ = State::Data;
    buffer_.clear();
    acknowledge(n == 0);
}

void SimBoard::acknowledge(bool last) {
    if (last) {
        finish();
        reply({endCode()});
    } else {
        reply({kAck});
    }
}

void SimBoard::replyWords(int count, bool configArea) {
    std::vector<std::uint8_t> r;
    r.reserve(static_cast<std::size_t>(2 * count + 1));
    for (int i = 0; i < count; ++i) {
        const int w = configArea ? chip.readConfigArea(i) : chip.readProgramArea(i);
        r.push_back(static_cast<std::uint8_t>(w >> 8));
        r.push_back(static_cast<std::uint8_t>(w));
    }
    r.push_back(endCode());
    reply(r);
}

void SimBoard::dataByte(std::uint8_t byte) {
    buffer_.push_back(byte);
    if (buffer_.size() < 2)
        return;
    const int hi = buffer_[0];
    const int lo = buffer_[1];
    buffer_.clear();
    const int k = index_++;
    ++log.back().dataWords;
    const bool last = index_ >= count_;

    if (letters_ == "wed") {
        chip.writeEeprom(k, static_cast<std::uint8_t>(lo));
        if (k == faults.eepromErrorAtCell) {
            finish();
            reply({protocol::kEepromErrorReply, static_cast<std::uint8_t>(~lo), 0x3F});
            return;
        }
        acknowledge(last);
        return;
    }

    const int word = hi * 256 + lo;
    const bool configArea = WritesConfigArea(letters_);
    bool ok = configArea ? chip.writeConfigArea(k, word) : chip.writeProgramArea(k, word);
    if (k == faults.abortAtWord)
        ok = false;
    if (!ok) {
        const int back = configArea ? chip.readConfigArea(k) : chip.readProgramArea(k);
        const auto bh = static_cast<std::uint8_t>(back >> 8);
        const auto bl = static_cast<std::uint8_t>(back);
        finish();
        if (chip.twelveBit())
            reply({bh, bl, kEndCode});
        else
            reply({kEndCode, bh, bl});
        return;
    }
    acknowledge(last);
}

std::uint8_t SimBoard::endCode() const { return faults.wrongEndCode ? kEndCode + 1 : kEndCode; }

void SimBoard::reply(const std::vector<std::uint8_t>& bytes) {
    std::size_t length = bytes.size();
    if (length > 1 && faults.shortReplyBy > 0)
        length = length > static_cast<std::size_t>(faults.shortReplyBy) ? length - faults.shortReplyBy : 0;
    std::vector<std::uint8_t> out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    const std::int64_t perByte = (pacing ? kByteTimeUs : 0) + std::int64_t{faults.byteDelayMs} * 1000;
    const std::size_t piece = static_cast<std::size_t>(std::max(pieceBytes, 1));
    std::vector<std::int64_t> delays;
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t pieceEnd = std::min(length, (i / piece + 1) * piece);
        delays.push_back(static_cast<std::int64_t>(pieceEnd) * perByte);
    }
    if (onReply)
        onReply(log.empty() ? SimCommand{} : log.back(), out, delays);
    std::int64_t ready = nowUs_;
    if (!out_.empty())
        ready = std::max(ready, out_.back().readyUs);
    const std::int64_t start = ready;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (faults.silentAfterBytes >= 0 && repliedBytes_ - silentBase_ >= faults.silentAfterBytes)
            return;
        if (i < delays.size())
            ready = std::max(ready, start + delays[i]);
        out_.push_back({out[i], ready});
        ++repliedBytes_;
    }
}

std::vector<std::uint8_t> SimBoard::takeReady(std::int64_t nowUs) {
    std::vector<std::uint8_t> ready;
    while (!out_.empty() && out_.front().readyUs <= nowUs) {
        ready.push_back(out_.front().byte);
        out_.pop_front();
    }
    return ready;
}

std::int64_t SimBoard::nextReadyUs() const { return out_.empty() ? -1 : out_.front().readyUs; }

void SimBoard::dropPending() { out_.clear(); }

}  // namespace vx
