// What names the file the image came from: the window title names it only
// while the image holds that file, and the log names the file loaded last.
#include <gtest/gtest.h>

#include "image/hexfile.h"
#include "image/pcbufferops.h"
#include "ops/oplog.h"
#include "ops/workflows.h"
#include "support/imagefixture.h"
#include "support/simrig.h"
#include "toolchain/build.h"

using namespace vx;
using namespace vx::test;

namespace {
const char* const kHex = ":02000000831665\r\n:00000001FF\r\n";
const char* const kBase = "Vormex V3 Ver 2.9.24  ";
}  // namespace

TEST(ImageTitle, NamesAFileOnlyWhileTheImageIsThatFiles) {
    SimRig rig("FLASH", 1024, 64);  // the chip of a PIC16F84A
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    Session& s = *rig.session;
    s.run.titleBase = kBase;
    const std::string a = WriteTestFile(rig, "a.hex", kHex);
    auto loadA = [&] {
        LoadHexPath(rig, a);
        ASSERT_EQ(s.view.title, kBase + a);
    };

    loadA();
    WriteTestFile(rig, "other.asm", "");
    rig.ui.fileAnswers.push_back(rig.dir + "other.asm");
    ChooseSource(s);  // chosen, not loaded
    EXPECT_EQ(s.loader.hexPath, rig.dir + "other.hex");
    EXPECT_EQ(s.view.title, kBase + a);

    ClearPcBuffer(s);
    EXPECT_EQ(s.view.title, kBase);

    loadA();
    ASSERT_TRUE(SelectByName(rig, "PIC16F877"));
    EXPECT_EQ(s.view.title, kBase);

    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    loadA();
    rig.ui.fileAnswers.push_back(rig.dir + "no such folder/b.hex");
    SaveHexFile(s);  // the write fails: the file does not hold the image
    EXPECT_EQ(s.view.title, kBase + a);
    SaveHexPath(rig, rig.dir + "b.hex");
    EXPECT_EQ(s.view.title, kBase + rig.dir + "b.hex");

    loadA();
    EXPECT_EQ(RunRead(s), Outcome::Passed);  // the image is now the chip's
    EXPECT_EQ(s.view.title, kBase);

    loadA();
    s.run.asmToolPath = WriteTestFile(rig, "gpasm", "");
    WriteTestFile(rig, "a.asm", "");
    BuildAndReload(s);  // the tool leaves no HEX file: a.hex and its image stay
    EXPECT_EQ(s.view.note, "アセンブルエラーを検出しました。 ");
    EXPECT_EQ(s.view.title, kBase + a);
}

TEST(LogVerdict, NamesTheFileLoadedLastNotTheOneSavedOrChosen) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    Session& s = *rig.session;
    RotateLog(s, "start");
    s.run.programResult = "プログラミング成功。";
    AppendVerdict(s);  // nothing loaded yet

    const std::string a = WriteTestFile(rig, "a.hex", kHex);
    LoadHexPath(rig, a);
    SaveHexPath(rig, rig.dir + "saved.hex");
    WriteTestFile(rig, "src.asm", "");
    rig.ui.fileAnswers.push_back(rig.dir + "src.asm");
    ChooseSource(s);
    EXPECT_EQ(s.loader.hexPath, rig.dir + "src.hex");
    AppendVerdict(s);
    EXPECT_EQ(ReadFileBytes(rig.dir + "LOG.txt"),
              "start\r\n"
              "プログラミング成功。  PIC16F84A  \r\n"
              "プログラミング成功。  PIC16F84A  " + a + "\r\n");
}
