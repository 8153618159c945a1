// The watch of the loaded HEX file, on the virtual clock and the simulated
// board: when a change is loaded, and when the reload is followed by Program.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/hexwatch.h"
#include "toolchain/build.h"
#include "support/fakes.h"
#include "support/simrig.h"

namespace vx {
namespace {

const char* const kFirst = ":0400000083168601DC\r\n:02400E00F13F80\r\n:00000001FF\r\n";
const char* const kSecondHead = ":04000000AA305530CB\r\n";
const char* const kSecondTail = ":02000400860872\r\n:02400E00F13F80\r\n:00000001FF\r\n";

struct Watched : test::SimRig {
    explicit Watched(const std::string& family, int eeprom = 16) : SimRig(family, 64, eeprom), watch(s(), files, clock) {
        s().view.menus["mnuWatchHex"].checked = true;
        s().view.menus["mnuAutoProgram"].checked = true;
        write(kFirst);
        watch.follow(path);
    }
    Session& s() { return *session; }
    void write(const std::string& text) { test::WriteFileBytes(path, text); }
    void append(const std::string& text) { write(test::ReadFileBytes(path) + text); }
    // Ticks every 100 ms for ms, as the window's timer does.
    void run(int ms) {
        for (int t = 0; t < ms; t += 100) {
            watch.tick();
            clock.now += 100;
        }
        watch.tick();
    }
    int writes() {
        int n = 0;
        for (const auto& c : board().log)
            n += !c.letters.empty() && c.letters[0] == 'w';
        return n;
    }
    const std::string path = dir + "blink.hex";
    PollingFileWatcher files;
    HexWatch watch;
};

TEST(HexWatch, ABurstOfWritesGivesOneReloadOfTheWholeFileAndOneProgram) {
    Watched w("FLASH");
    w.chip().program[5] = 0x0000;  // not blank: the question is answered "はい" by itself
    w.write(kSecondHead);          // the assembler's first piece
    w.run(200);
    EXPECT_EQ(w.watch.reloads(), 0);  // a half-written file is never loaded
    w.append(kSecondTail);
    w.run(200);
    EXPECT_EQ(w.watch.reloads(), 0);  // still within the settling time of the last write
    w.run(400);
    ASSERT_EQ(w.watch.reloads(), 1);
    ASSERT_EQ(w.watch.lastProgram(), Outcome::Passed) << w.s().view.note;
    EXPECT_EQ(w.ui.overwriteAsked, 0);
    EXPECT_EQ(w.chip().program[0], 0x30AA);
    EXPECT_EQ(w.chip().program[2], 0x0886);  // the tail's word: the whole file was loaded
    EXPECT_NE(w.s().view.note.find("プログラミング成功。"), std::string::npos);
    w.run(2000);
    EXPECT_EQ(w.watch.reloads(), 1);

    // Deleted and written again, as some assemblers do: followed.
    std::filesystem::remove(w.path);
    w.run(1000);
    EXPECT_EQ(w.watch.reloads(), 1);
    w.write(kFirst);
    w.run(400);
    EXPECT_EQ(w.watch.reloads(), 2);
    EXPECT_EQ(w.chip().program[0], 0x1683);
}

TEST(HexWatch, BadReplacementsAreNamedProgramNothingAndTheWatchGoesOn) {
    Watched w("FLASH");
    const int writes = w.writes();
    std::filesystem::remove(w.path);
    std::filesystem::create_directory(w.path);
    w.run(400);
    EXPECT_NE(w.s().view.note.find("ファイルではなくなりました"), std::string::npos) << w.s().view.note;
    std::filesystem::remove(w.path);
    w.write("garbage\r\nnot a hex file\r\n");
    w.run(400);
    EXPECT_NE(w.s().view.note.find("HEXレコードがありません"), std::string::npos) << w.s().view.note;
    EXPECT_FALSE(w.watch.lastProgram());
    EXPECT_EQ(w.writes(), writes);

    w.write(kFirst);
    w.run(400);
    EXPECT_EQ(w.watch.lastProgram(), Outcome::Passed) << w.s().view.note;
}

// Reads as the file system does, but a file may be made unreadable (as a
// mode of 000 does to anyone but root).
struct LockableFiles : PollingFileWatcher {
    std::optional<FileStamp> stamp(const std::string& path) override {
        auto stamp = PollingFileWatcher::stamp(path);
        if (stamp && locked)
            stamp->readable = false;
        return stamp;
    }
    bool locked = false;
};

TEST(HexWatch, AFileThatCouldNotBeReadIsLoadedOnceItCanBe) {
    test::SimRig rig("FLASH", 64, 16);
    Session& s = *rig.session;
    s.view.menus["mnuWatchHex"].checked = true;
    const std::string path = rig.dir + "blink.hex";
    test::WriteFileBytes(path, kFirst);
    LockableFiles files;
    HexWatch watch(s, files, rig.clock);
    watch.follow(path);
    files.locked = true;
    test::WriteFileBytes(path, std::string(kSecondHead) + kSecondTail);
    for (int t = 0; t <= 500; t += 100, rig.clock.now += 100)
        watch.tick();
    EXPECT_EQ(watch.reloads(), 0);
    EXPECT_NE(s.view.note.find("読み込めませんでした"), std::string::npos) << s.view.note;

    files.locked = false;  // same size and time, readable now
    for (int t = 0; t <= 500; t += 100, rig.clock.now += 100)
        watch.tick();
    EXPECT_EQ(watch.reloads(), 1);
    EXPECT_EQ(s.buffer.program[0], 0x30);
}

TEST(HexWatch, AReloadPassesTheStrictCheckOrLeavesImageAndChipAlone) {
    Watched w("FLASH");
    w.write(kSecondHead + std::string(kSecondTail));
    w.run(400);
    ASSERT_EQ(w.watch.lastProgram(), Outcome::Passed) << w.s().view.note;
    const auto image = w.s().buffer.program;
    const int writes = w.writes();
    const std::string lower = ":04000000aa305530cb\r\n:00000001FF\r\n";
    const std::string shortRecord = ":04000000AA3055\r\n:00000001FF\r\n";
    const std::string leadingColon = ":junk\r\n";
    for (const std::string& bad : {lower, shortRecord, leadingColon}) {
        w.write(bad);
        w.run(400);
        EXPECT_FALSE(w.watch.lastProgram()) << bad;
        EXPECT_EQ(w.s().view.noteColour, kColourRed);
        EXPECT_NE(w.s().view.note.find(w.path + ":1: "), std::string::npos) << w.s().view.note;
        EXPECT_EQ(w.s().buffer.program, image);
        EXPECT_EQ(w.writes(), writes);
    }
}

TEST(HexWatch, WhatTheProgramWroteItselfIsNoChange) {
    Watched w("FLASH");
    // A failed build moves the file aside and puts it back as it was.
    const std::string aside = w.path + ".aside";
    std::filesystem::rename(w.path, aside);
    w.run(400);
    std::filesystem::rename(aside, w.path);
    w.run(1000);
    EXPECT_EQ(w.watch.reloads(), 0);
    EXPECT_EQ(w.writes(), 0);
    // Save As onto the watched file.
    w.write(kSecondHead + std::string(kSecondTail));
    ++w.s().loader.ownWrites;
    w.run(1000);
    EXPECT_EQ(w.watch.reloads(), 0);
    EXPECT_EQ(w.writes(), 0);
    // The user's next change is one again.
    w.write(kFirst);
    w.run(400);
    EXPECT_EQ(w.watch.reloads(), 1);
}

// Build & reload that fails: the old file put back is no change, nothing is
// programmed, and the build's error note stays.
TEST(HexWatch, AFailedBuildNeverPrograms) {
    Watched w("FLASH");
    w.s().loader.hexPath = w.path;
    w.s().run.asmToolPath = w.dir + "mpasm";  // the fake tool writes nothing: the build fails
    test::WriteFileBytes(w.s().run.asmToolPath, "");
    test::WriteFileBytes(w.dir + "blink.asm", "");
    BuildAndReload(w.s());
    const std::string buildNote = w.s().view.note;
    ASSERT_NE(buildNote.find("エラー"), std::string::npos) << buildNote;
    w.run(2000);
    EXPECT_EQ(w.watch.reloads(), 0);
    EXPECT_EQ(w.writes(), 0);
    EXPECT_EQ(w.s().view.note, buildNote);
}

TEST(HexWatch, NoAutomaticProgramForEpromPartsDuringARunOrUnderSerialization) {
    {
        Watched w("EPROM", 0);
        w.write(std::string(kFirst) + "\r\n");
        w.run(400);
        EXPECT_EQ(w.watch.reloads(), 1);
        EXPECT_FALSE(w.watch.lastProgram());
        EXPECT_EQ(w.writes(), 0);
        EXPECT_EQ(w.s().view.note, "このデバイスは消去できないので、自動書込みは行いません。 ");
        EXPECT_EQ(w.s().view.noteColour, kColourRed);
    }
    {
        Watched w("FLASH");
        struct Hook : ProgramHook {
            bool reserve(Session&) override { return true; }
            bool place(Session&) override { return true; }
            void finish(Session&, Outcome) override {}
        } hook;
        w.s().ops.programHook = &hook;
        w.write(std::string(kFirst) + "\r\n");
        w.run(400);
        EXPECT_EQ(w.watch.reloads(), 1);
        EXPECT_EQ(w.writes(), 0);
        EXPECT_NE(w.s().view.note.find("シリアルデータプログラミング中"), std::string::npos);
    }
    {
        // A change during a running command waits for it: no reload, no write meanwhile.
        Watched w("FLASH");
        w.s().view.busy = true;
        w.write(std::string(kFirst) + "\r\n");
        w.run(1000);
        EXPECT_EQ(w.watch.reloads(), 0);
        EXPECT_EQ(w.writes(), 0);
        w.s().view.busy = false;
        w.run(100);
        EXPECT_EQ(w.watch.lastProgram(), Outcome::Passed);
    }
}

TEST(HexWatch, MarksAreSavedAndWithoutThemNothingHappens) {
    Watched w("FLASH");
    ToggleWatchHex(w.s());  // off
    EXPECT_EQ(w.settings.values["WatchHex"], "0");
    w.write(std::string(kFirst) + "\r\n");
    w.run(1000);
    EXPECT_EQ(w.watch.reloads(), 0);
    ToggleWatchHex(w.s());
    ToggleAutoProgram(w.s());  // reload only
    EXPECT_EQ(w.settings.values["WatchHex"], "-1");
    EXPECT_EQ(w.settings.values["AutoProgram"], "0");
    w.run(400);
    EXPECT_EQ(w.watch.reloads(), 1);
    EXPECT_EQ(w.writes(), 0);
    EXPECT_EQ(w.s().view.note, "HEXファイルの変更を検出し、再ロードしました。 ");
}

}  // namespace
}  // namespace vx
