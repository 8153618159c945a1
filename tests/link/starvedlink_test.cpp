// A process the system did not run for longer than a time-out: the board's
// reply reached the kernel meanwhile, and the link must not give up on it.
#include <gtest/gtest.h>

#include "link/boardlink.h"
#include "support/fakes.h"

namespace vx {
namespace {

// As QSerialPort: the buffer fills only inside a wait. The first wait comes
// back two seconds late with nothing read, while `reply` lay in the kernel.
class StarvedPort : public SerialPort {
public:
    StarvedPort(test::VirtualClock& clock, Bytes reply) : clock_(clock), reply_(std::move(reply)) {}
    PortOpenResult open(const std::string&) override { return PortOpenResult::Ok; }
    void close() override {}
    bool isOpen() const override { return true; }
    void write(const Bytes&) override {}
    int bytesAvailable() override { return static_cast<int>(buffer_.size()); }
    Bytes readAll() override { return std::exchange(buffer_, {}); }
    void discardInput() override { buffer_.clear(); }
    void setRts(bool) override {}
    bool waitForData(int timeoutMs) override {
        if (!starved_) {
            starved_ = true;
            clock_.now += 2000;
            return false;
        }
        if (!reply_.empty()) {
            buffer_.insert(buffer_.end(), reply_.begin(), reply_.end());
            reply_.clear();
            return true;
        }
        clock_.now += timeoutMs;
        return false;
    }

private:
    test::VirtualClock& clock_;
    Bytes reply_, buffer_;
    bool starved_ = false;
};

TEST(StarvedLink, AReplyWaitingUnreadOutlivesItsTimeOut) {
    test::VirtualClock clock;
    test::FakeUi ui;
    StarvedPort first(clock, {0x40});
    BoardLink link(first, clock, ui);
    EXPECT_TRUE(link.WaitForBytes(1, 1000));

    StarvedPort idle(clock, {1, 2, 3});
    BoardLink slow(idle, clock, ui);
    EXPECT_TRUE(slow.WaitForBytesIdle(3, 1000));

    // Nothing in the kernel either: the time-out stands.
    StarvedPort silent(clock, {});
    BoardLink gone(silent, clock, ui);
    EXPECT_FALSE(gone.WaitForBytes(1, 1000));
}

}  // namespace
}  // namespace vx
