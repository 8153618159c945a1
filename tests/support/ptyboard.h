// A board at the far end of a real pseudo-terminal, played by the test: it
// answers every identification, starts the reply to a program-memory read
// and then goes away with its device. The program reaches the terminal
// through a link in the test's folder, which goes with it (the terminal's own
// number may be handed to another process at once).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace vx::test {

class PtyBoard {
public:
    explicit PtyBoard(std::string linkPath) : link(std::move(linkPath)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);  // a child must not hold our end open
        if (master_ >= 0 && (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
                             symlink(ptsname(master_), link.c_str()) != 0))
            hangUp();
    }
    ~PtyBoard() {
        if (thread_.joinable())
            thread_.join();
        hangUp();
    }
    PtyBoard(const PtyBoard&) = delete;
    PtyBoard& operator=(const PtyBoard&) = delete;

    bool ok() const { return master_ >= 0; }
    // Serves until the read has begun, then hangs up.
    void serveUntilARead() { thread_ = std::thread([this] { serve(); }); }
    // Waits for the board's thread to end.
    void join() {
        if (thread_.joinable())
            thread_.join();
    }
    void hangUp() {
        if (master_ < 0)
            return;
        unlink(link.c_str());
        close(master_);
        master_ = -1;
        hungUpAtMs = NowMs();
    }
    static std::int64_t NowMs() {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    const std::string link;
    std::atomic<std::int64_t> hungUpAtMs{-1};

private:
    void serve() {
        std::string seen;
        while (master_ >= 0) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0)
                return;
            char buffer[64];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0)
                return;
            for (ssize_t i = 0; i < n; ++i) {
                seen += buffer[i];
                if (buffer[i] == '?')
                    (void)!write(master_, "TAVPIC-PGMV4.01\r\n", 17);
            }
            // "r" "s" "p" and the two count bytes: a part of the reply, then gone.
            const auto read = seen.find("rsp");
            if (read != std::string::npos && seen.size() >= read + 5) {
                const std::string part(300, '\x3F');
                (void)!write(master_, part.data(), part.size());
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                hangUp();
            }
        }
    }

    int master_ = -1;
    std::thread thread_;
};

}  // namespace vx::test
