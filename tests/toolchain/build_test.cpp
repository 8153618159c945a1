#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

#include "base/convert.h"
#include "device/devicedb.h"
#include "image/hexfile.h"
#include "image/selection.h"
#include "support/fakes.h"
#include "support/imagefixture.h"
#include "toolchain/build.h"
#include "toolchain/posixprocesses.h"

using namespace vx;
using vx::test::FakeProcesses;
using vx::test::ReadFileBytes;
using vx::test::TestRig;
using vx::test::WriteFileBytes;

namespace {

namespace fs = std::filesystem;

const char* const kHex = ":040000001230002892\r\n:00000001FF\r\n";

// The shipped database with PIC16F84A selected, so HEX files load.
void selectF84(Session& s) {
    s.db.path = vx::test::SourcePath("data/device.ini");
    ASSERT_TRUE(LoadDeviceList(s));
    const auto& names = s.db.deviceNames;
    const auto it = std::find(names.begin(), names.end(), "PIC16F84A");
    ASSERT_NE(it, names.end());
    SelectDeviceIndex(s, static_cast<int>(it - names.begin()));
    ASSERT_EQ(s.device.name, "PIC16F84A");
}

// A fake tool: "runs" by writing the HEX file beside the source it was given.
class ToolProcesses : public FakeProcesses {
public:
    ProcessId start(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workDir) override {
        if (writesHex && !args.empty()) {
            const std::string source = workDir + "/" + args.back();
            WriteFileBytes(source.substr(0, source.rfind('.')) + ".hex", hexText);
        }
        return FakeProcesses::start(program, args, workDir);
    }
    ProcessId startLogged(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workDir, const std::string& outputFile) override {
        WriteFileBytes(outputFile, says);
        return start(program, args, workDir);
    }
    bool writesHex = true;
    std::string hexText = kHex;
    std::string says;  // what the tool prints
};

struct BuildRig : TestRig {
    BuildRig() : session(*silentPort, settings, clock, ui, tool) {
        session.run.appDir = dir;
        session.run.titleBase = "Vormex V3 Ver 2.9.24  ";
        work = dir + "w";
        fs::create_directories(work);
        toolPath = dir + "mpasmwin.exe";
        WriteFileBytes(toolPath, "");
        session.run.asmToolPath = toolPath;
        settings.values["OPEN_DIR0"] = work;
        selectF84(session);
        ui.boxes.clear();
    }
    // The HEX path of a source written in the work folder.
    std::string sourced(const std::string& name, const std::string& ext = "asm") {
        WriteFileBytes(work + "/" + name + "." + ext, "");
        return work + "/" + name + ".hex";
    }
    ToolProcesses tool;
    Session session;
    std::string work, toolPath;
};

}  // namespace

TEST(ToolKind, LaterTestsOverrideEarlierOnes) {
    EXPECT_EQ(BuildToolKind("C:/tools/MPASMWIN.EXE"), ToolKind::Assembler);
    EXPECT_EQ(BuildToolKind("/opt/ccsc.exe"), ToolKind::BatchCompiler);
    EXPECT_EQ(BuildToolKind("/opt/picc.exe"), ToolKind::AskingCompiler);
    EXPECT_EQ(BuildToolKind("/usr/bin/gpasm"), ToolKind::Assembler);
    EXPECT_EQ(BuildToolKind("/usr/bin/sdcc"), ToolKind::BatchCompiler);
    EXPECT_EQ(BuildToolKind("/opt/sdcc/bin/gpasm"), ToolKind::Assembler);
    EXPECT_EQ(BuildToolKind("/usr/bin/anything"), ToolKind::Assembler);
    EXPECT_EQ(BuildToolKind(""), ToolKind::Assembler);
    // The source choice looks for the short names.
    EXPECT_EQ(BuildToolKind("/picc/mpasmwin.exe"), ToolKind::Assembler);
    EXPECT_EQ(SourceToolKind("/picc/mpasmwin.exe"), ToolKind::AskingCompiler);
    EXPECT_EQ(SourceToolKind("/ccsc/mpasm"), ToolKind::BatchCompiler);
}

TEST(BuildAndReload, AsksForACSourceThenRunsTheToolInItsFolder) {
    BuildRig rig;
    auto& s = rig.session;
    const std::string tool = rig.dir + "ccsc.exe";
    WriteFileBytes(tool, "");
    s.run.asmToolPath = tool;
    rig.settings.values["AsmOption"] = "+p";
    WriteFileBytes(rig.work + "/test.c", "void main(){}");
    rig.ui.fileAnswers.push_back(rig.work + "/test.c");
    rig.tool.writesHex = false;
    BuildAndReload(s);

    ASSERT_EQ(rig.ui.fileRequests.size(), 1u);
    EXPECT_EQ(rig.ui.fileRequests[0].title, "HEXファイルが未指定なので、コンパイラを行うソースファイルを指定してください。");
    EXPECT_EQ(rig.ui.fileRequests[0].filter, "Cファイル|*.c|全てのファイル|*.*");
    EXPECT_EQ(s.loader.hexPath, rig.work + "/test.hex");
    EXPECT_EQ(rig.settings.values["OPEN_DIR0"], rig.work);
    EXPECT_EQ(s.view.title, "Vormex V3 Ver 2.9.24  ");  // nothing was loaded
    ASSERT_EQ(rig.tool.started.size(), 1u);
    EXPECT_EQ(rig.tool.started[0].program, tool);
    EXPECT_EQ(rig.tool.started[0].args, (std::vector<std::string>{"+p", "test.c"}));
    EXPECT_EQ(rig.tool.started[0].workDir, rig.work);
    EXPECT_EQ(s.view.note, "コンパイルエラーを検出しました。 ");
}

TEST(BuildAndReload, MissingOrCancelledSourceStops) {
    BuildRig rig;
    auto& s = rig.session;
    BuildAndReload(s);  // dialog cancelled
    EXPECT_EQ(rig.ui.fileRequests[0].title, "HEXファイルが未指定なので、アセンブルを行うソースファイルを指定してください。");
    EXPECT_EQ(rig.ui.fileRequests[0].filter, "asmファイル|*.asm|全てのファイル|*.*");
    EXPECT_EQ(rig.ui.fileRequests[0].startDir, rig.work);
    EXPECT_EQ(s.view.note, "ソースファイルをオープンできませんでした。 ");
    rig.ui.fileAnswers.push_back(rig.work + "/gone.asm");
    BuildAndReload(s);
    EXPECT_EQ(s.view.note, "ソースファイルをオープンできませんでした。 ");
    // A name without the three-letter extension would make some other file the HEX path.
    WriteFileBytes(rig.work + "/prog.s", "");
    rig.ui.fileAnswers.push_back(rig.work + "/prog.s");
    BuildAndReload(s);
    EXPECT_EQ(s.view.note, "ソースファイルをオープンできませんでした。 ");
    EXPECT_TRUE(s.loader.hexPath.empty());
    EXPECT_TRUE(rig.tool.started.empty());
}

TEST(BuildAndReload, MissingToolShowsTheBoxAndTouchesNothing) {
    BuildRig rig;
    auto& s = rig.session;
    s.loader.hexPath = rig.work + "/a.hex";
    WriteFileBytes(s.loader.hexPath, kHex);
    for (const std::string& tool : {std::string(), rig.dir + "nothere.exe"}) {
        s.run.asmToolPath = tool;
        rig.ui.boxes.clear();
        BuildAndReload(s);
        ASSERT_EQ(rig.ui.boxes.size(), 1u);
        EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Information);
        EXPECT_EQ(rig.ui.boxes[0].text,
                  "アセンブラ、または、コンパイラが指定されていません。\r\n\r\nメニューバの 【オプション】‥【MPASM.EXEの設定】から、"
                  "MPASM.EXEの場所を指定してください。");
    }
    EXPECT_TRUE(rig.tool.started.empty());
    EXPECT_TRUE(FileExists(s.loader.hexPath));
}

TEST(BuildAndReload, UnbalancedQuotesRunNothingAndKeepTheHexFile) {
    BuildRig rig;
    auto& s = rig.session;
    s.loader.hexPath = rig.work + "/a.hex";
    WriteFileBytes(s.loader.hexPath, kHex);
    rig.settings.values["AsmOption"] = "-I \"my includes";
    BuildAndReload(s);
    EXPECT_TRUE(rig.tool.started.empty());
    EXPECT_TRUE(FileExists(s.loader.hexPath));
    EXPECT_EQ(s.view.note, "アセンブラ・コンパイラのオプションの引用符が閉じていません。 ");
    EXPECT_EQ(s.view.noteColour, kColourRed);
}

TEST(BuildAndReload, SpacesAndShellCharactersStayInOneArgument) {
    BuildRig rig;
    auto& s = rig.session;
    const std::string folder = rig.dir + "my work; $(x)";
    fs::create_directories(folder);
    rig.settings.values["OPEN_DIR0"] = folder;
    s.loader.hexPath = folder + "/blink led.hex";
    WriteFileBytes(folder + "/blink led.asm", "");
    rig.settings.values["AsmOption"] = "-q '-I inc dir'";
    BuildAndReload(s);
    ASSERT_EQ(rig.tool.started.size(), 1u);
    EXPECT_EQ(rig.tool.started[0].args, (std::vector<std::string>{"-q", "-I inc dir", "blink led.asm"}));
    EXPECT_EQ(rig.tool.started[0].workDir, folder);
    EXPECT_TRUE(FileExists(folder + "/blink led.hex"));
}

TEST(BuildAndReload, SuccessReloadsTheNewHexFile) {
    BuildRig rig;
    auto& s = rig.session;
    s.loader.hexPath = rig.sourced("a");
    WriteFileBytes(s.loader.hexPath, "stale");
    BuildAndReload(s);
    EXPECT_EQ(ReadFileBytes(s.loader.hexPath), kHex);
    EXPECT_EQ(s.view.note, "ＨＥＸファイルの再生成と再ロード完了。 ");
    EXPECT_FALSE(s.loader.skipHexDialog);
    EXPECT_TRUE(rig.ui.fileRequests.empty());
    EXPECT_GE(rig.clock.now, 1'000'000 + 1000);  // the pause after the tool
}

// gpasm with no options stored gets its own, as the tool window shows them.
TEST(BuildAndReload, GpasmWithoutStoredOptionsGetsItsOwn) {
    BuildRig rig;
    auto& s = rig.session;
    s.run.asmToolPath = rig.dir + "gpasm";
    WriteFileBytes(s.run.asmToolPath, "");
    s.loader.hexPath = rig.sourced("a");
    BuildAndReload(s);
    ASSERT_EQ(rig.tool.started.size(), 1u);
    EXPECT_EQ(rig.tool.started[0].args, (std::vector<std::string>{"-a", "inhx8m", "a.asm"}));
}

TEST(BuildAndReload, FailedAssemblyOpensTheErrorFile) {
    BuildRig rig;
    auto& s = rig.session;
    s.loader.hexPath = rig.sourced("test");
    WriteFileBytes(s.loader.hexPath, kHex);
    WriteFileBytes(rig.work + "/test.lst", "error");
    rig.settings.values["AsmAfter"] = " lst ";
    rig.tool.writesHex = false;
    BuildAndReload(s);
    EXPECT_EQ(ReadFileBytes(s.loader.hexPath), kHex);  // put back
    EXPECT_EQ(rig.tool.editorOpened, std::vector<std::string>{rig.work + "/test.lst"});
    EXPECT_EQ(s.view.note, "アセンブルエラーを検出しました。 ");

    rig.settings.values["EditerA"] = "False";
    BuildAndReload(s);
    EXPECT_EQ(rig.tool.opened, std::vector<std::string>{rig.work + "/test.lst"});

    // Not configured, or configured but absent: nothing opens.
    rig.settings.values["AsmAfter"] = "err";
    BuildAndReload(s);
    rig.settings.values["AsmAfter"] = "";
    BuildAndReload(s);
    EXPECT_EQ(rig.tool.opened.size(), 1u);
    EXPECT_EQ(rig.tool.editorOpened.size(), 1u);
}

TEST(BuildAndReload, AskingCompilerLetsTheUserJudge) {
    BuildRig rig;
    auto& s = rig.session;
    const std::string tool = rig.dir + "picc.exe";
    WriteFileBytes(tool, "");
    s.run.asmToolPath = tool;
    s.loader.hexPath = rig.sourced("m", "c");
    WriteFileBytes(rig.work + "/m.lst", "");
    rig.settings.values["AsmAfter"] = "lst";
    rig.tool.writesHex = true;
    rig.ui.boxAnswers.push_back(MsgAnswer::No);
    BuildAndReload(s);
    EXPECT_EQ(rig.tool.started[0].args.back(), "m.c");
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].text,
              "コンパイルは正常に終了しましたか？　　　　　　　　　　　　　　　　　\r\n\r\n"
              "[ はい ]\tＨＥＸファイルを再ロードします。　　　　　　　　　　\r\n"
              "[いいえ]\tＨＥＸファイルを再ロードしません。　　　　　　　　　　\r\n");
    EXPECT_EQ(rig.tool.editorOpened, std::vector<std::string>{rig.work + "/m.lst"});
    EXPECT_EQ(s.view.note, "コンパイルエラーを検出しました。 ");

    rig.ui.boxAnswers.push_back(MsgAnswer::Yes);
    BuildAndReload(s);
    EXPECT_EQ(s.view.note, "ＨＥＸファイルの再生成と再ロード完了。 ");
}

TEST(BuildAndReload, StopsWaitingAfterTenSecondsAndJudgesByTheFile) {
    BuildRig rig;
    auto& s = rig.session;
    s.loader.hexPath = rig.sourced("slow");
    rig.tool.nextExitCode = std::nullopt;  // never ends
    const auto before = rig.clock.now;
    BuildAndReload(s);
    const auto waited = rig.clock.now - before;
    EXPECT_GT(waited, 10000 + 1000);
    EXPECT_LT(waited, 10000 + 1000 + 100);
    EXPECT_GT(rig.ui.eventPumps, 100);  // events serviced while waiting
    EXPECT_EQ(s.view.note, "ＨＥＸファイルの再生成と再ロード完了。 ");

    rig.tool.writesHex = false;
    BuildAndReload(s);
    EXPECT_EQ(s.view.note, "アセンブルエラーを検出しました。 ");
}

TEST(BuildAndReload, DiagnosticBoxWhenAskedOnTheCommandLine) {
    BuildRig rig;
    auto& s = rig.session;
    s.run.commandOption = "/debug";
    s.loader.hexPath = rig.sourced("d");
    rig.settings.values["AsmOption"] = "/q";
    rig.settings.values["AsmAfter"] = "lst";
    BuildAndReload(s);
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    std::string expected = "デバック情報";
    for (int i = 0; i < 48; ++i)
        expected += "　";
    expected += "\r\n\r\nｼｪﾙ起動ｺﾏﾝﾄﾞ \t" + rig.toolPath + " /q d.asm\r\nｴﾗｰ時に開くﾌｧｲﾙ名\t" + rig.work +
                "/d.lst\r\nｶﾚﾝﾄﾃﾞｨﾚｸﾄﾘ\t" + rig.work;
    EXPECT_EQ(rig.ui.boxes[0].text, expected);
}

TEST(ReloadHex, AsksWhenNoFileThenLoads) {
    BuildRig rig;
    auto& s = rig.session;
    ReloadHex(s);
    EXPECT_EQ(rig.ui.fileRequests[0].title, "HEXファイルが未指定なので、ロードするHEXファイルを指定してください。");
    EXPECT_EQ(s.view.note, "HEXファイルをロードできませんでした。 ");
    rig.ui.fileAnswers.push_back(rig.work + "/none.hex");
    ReloadHex(s);
    EXPECT_EQ(s.view.note, "HEXファイルをロードできませんでした。 ");
    EXPECT_EQ(s.loader.hexPath, rig.work + "/none.hex");

    s.loader.hexPath.clear();
    WriteFileBytes(rig.work + "/r.hex", kHex);
    rig.ui.fileAnswers.push_back(rig.work + "/r.hex");
    ReloadHex(s);
    EXPECT_EQ(s.view.title, "Vormex V3 Ver 2.9.24  " + rig.work + "/r.hex");
    EXPECT_EQ(s.view.note, "HEXファイルの再ロード完了。 ");
}

TEST(ReloadHex, AFileTheLoaderCannotOpenIsNotReportedAsReloaded) {
    BuildRig rig;
    auto& s = rig.session;
    s.loader.hexPath = rig.work + "/deleted.hex";
    ReloadHex(s);
    EXPECT_NE(s.view.note, "HEXファイルの再ロード完了。 ");
}

TEST(ChooseSource, NamesTheHexFileBesideTheSource) {
    BuildRig rig;
    auto& s = rig.session;
    const std::string folder = rig.dir + "old.src";
    fs::create_directories(folder);
    WriteFileBytes(folder + "/x.asm", "");
    rig.ui.fileAnswers.push_back(folder + "/x.asm");
    ChooseSource(s);
    EXPECT_EQ(rig.ui.fileRequests[0].title, "アセンブル・コンパイルするソースファイルの場所を指定してください。");
    EXPECT_EQ(rig.ui.fileRequests[0].filter, "ASMファイル|*.ASM|全てのファイル|*.*");
    EXPECT_EQ(s.loader.hexPath, folder + "/x.hex");
    EXPECT_EQ(rig.settings.values["OPEN_DIR0"], folder);
    EXPECT_EQ(s.view.title, "Vormex V3 Ver 2.9.24  ");  // nothing was loaded
    EXPECT_TRUE(rig.tool.started.empty());

    // A C tool by the short test; a missing file sets only the HEX path.
    s.run.asmToolPath = "/picc/mpasmwin.exe";
    rig.ui.fileAnswers.push_back(rig.work + "/main.c");
    ChooseSource(s);
    EXPECT_EQ(rig.ui.fileRequests[1].filter, "Cファイル|*.C|全てのファイル|*.*");
    EXPECT_EQ(s.loader.hexPath, rig.work + "/main.hex");
    EXPECT_EQ(rig.settings.values["OPEN_DIR0"], folder);
    ChooseSource(s);  // cancelled
    EXPECT_EQ(s.loader.hexPath, rig.work + "/main.hex");
}

TEST(OpenInEditor, ByTheEditorChoice) {
    BuildRig rig;
    auto& s = rig.session;
    OpenInEditor(s);  // cancelled
    EXPECT_EQ(rig.ui.fileRequests[0].title, "ソースファイルを開く");
    EXPECT_EQ(rig.ui.fileRequests[0].filter, "ソースファイル|*.ASM;*.C|全てのファイル|*.*");
    rig.ui.fileAnswers.push_back("/src/a b.asm");
    OpenInEditor(s);
    EXPECT_EQ(rig.tool.editorOpened, std::vector<std::string>{"/src/a b.asm"});
    rig.settings.values["EditerA"] = "False";
    rig.ui.fileAnswers.push_back("/src/c.c");
    OpenInEditor(s);
    EXPECT_EQ(rig.tool.opened, std::vector<std::string>{"/src/c.c"});
}

// Real processes: scripts written here, and gpasm when installed.
namespace {

struct RealRig : TestRig {
    RealRig() : session(*silentPort, settings, clock, ui, processes) {
        session.run.appDir = dir;
        settings.values["OPEN_DIR0"] = dir.substr(0, dir.size() - 1);
        settings.values["AsmOption"] = "";
        selectF84(session);
        ui.boxes.clear();
    }
    std::string script(const std::string& name, const std::string& body) {
        const std::string path = dir + name;
        WriteFileBytes(path, "#!/bin/sh\n" + body);
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    vx::test::PosixProcesses processes;
    Session session;
};

}  // namespace

TEST(BuildWithRealProcesses, ScriptToolWritesOrDoesNotWriteTheHexFile) {
    RealRig rig;
    auto& s = rig.session;
    s.run.asmToolPath = rig.script("tool", std::string("printf '") + ":040000001230002892\\r\\n:00000001FF\\r\\n" +
                                               "' > \"${1%.asm}.hex\"\n");
    s.loader.hexPath = rig.dir + "p q.hex";
    WriteFileBytes(rig.dir + "p q.asm", "");
    BuildAndReload(s);
    ASSERT_EQ(rig.processes.started.size(), 1u);
    EXPECT_EQ(rig.processes.started[0].back(), "p q.asm");
    EXPECT_EQ(ReadFileBytes(s.loader.hexPath), kHex);
    EXPECT_EQ(s.view.note, "ＨＥＸファイルの再生成と再ロード完了。 ");

    s.run.asmToolPath = rig.script("failing", "exit 1\n");
    BuildAndReload(s);
    EXPECT_EQ(ReadFileBytes(s.loader.hexPath), kHex);  // the last good build's file
    EXPECT_EQ(s.view.note, "アセンブルエラーを検出しました。 ");
}

TEST(BuildWithRealProcesses, GpasmBuildIsReloaded) {
    const std::string gpasm = "/usr/bin/gpasm";
    if (!FileExists(gpasm))
        GTEST_SKIP() << "gpasm is not installed";
    RealRig rig;
    vx::test::SteadyTestClock steady;
    Session real(*rig.silentPort, rig.settings, steady, rig.ui, rig.processes);
    real.run.appDir = rig.dir;
    real.run.titleBase = "T ";
    real.run.asmToolPath = gpasm;
    selectF84(real);
    rig.settings.values["AsmOption"] = "-q";
    WriteFileBytes(rig.dir + "blink.asm", "\tprocessor 16f84a\n\torg 0\n\tmovlw 0x12\n\tgoto 0\n\tend\n");
    rig.ui.fileAnswers.push_back(rig.dir + "blink.asm");
    BuildAndReload(real);
    EXPECT_EQ(real.loader.hexPath, rig.dir + "blink.hex");
    EXPECT_TRUE(FileExists(real.loader.hexPath));
    EXPECT_EQ(real.view.title, "T " + rig.dir + "blink.hex");
    EXPECT_EQ(real.view.note, "ＨＥＸファイルの再生成と再ロード完了。 ");
    EXPECT_EQ(vx::test::ProgramWord(real, 0), 0x3012);  // movlw 0x12
    EXPECT_EQ(vx::test::ProgramWord(real, 1), 0x2800);  // goto 0
}

TEST(BuildWithRealProcesses, GpasmSyntaxErrorLeavesItsMessagesInTheErrorFile) {
    const std::string gpasm = "/usr/bin/gpasm";
    if (!FileExists(gpasm))
        GTEST_SKIP() << "gpasm is not installed";
    RealRig rig;
    auto& s = rig.session;
    s.run.asmToolPath = gpasm;
    rig.settings.values["AsmOption"] = "-a inhx8m";
    rig.settings.values["AsmAfter"] = "lst";
    WriteFileBytes(rig.dir + "bad.asm", "\tprocessor 16f84a\n\torg 0\n\tmovlw 1 2 ,,\n\tbogus x\n\tend\n");
    rig.ui.fileAnswers.push_back(rig.dir + "bad.asm");
    BuildAndReload(s);
    EXPECT_EQ(s.view.note, "アセンブルエラーを検出しました。 ");
    const std::string kept = ReadFileBytes(rig.dir + "bad.lst");
    // gpasm's own messages first, then its listing.
    EXPECT_EQ(kept.find("bad.asm:3:Error"), 0u) << kept;
    EXPECT_NE(kept.find("bad.asm:4:Error"), std::string::npos) << kept;
    EXPECT_NE(kept.find("SYMBOL TABLE"), std::string::npos) << kept;
    EXPECT_FALSE(FileExists(rig.dir + "bad.tool-output"));

    // A successful build leaves the listing as gpasm wrote it.
    WriteFileBytes(rig.dir + "bad.asm", "\tprocessor 16f84a\n\torg 0\n\tgoto 0\n\tend\n");
    BuildAndReload(s);
    EXPECT_EQ(s.view.note, "ＨＥＸファイルの再生成と再ロード完了。 ");
    EXPECT_EQ(ReadFileBytes(rig.dir + "bad.lst").find("bad.asm:"), std::string::npos);
    EXPECT_FALSE(FileExists(rig.dir + "bad.tool-output"));
}

TEST(BuildWithRealProcesses, ToolPrintingMegabytesKeepsTheFirstMegabyteOnly) {
    RealRig rig;
    auto& s = rig.session;
    s.run.asmToolPath = rig.script("noisy", "echo 'first words' >&2\nyes 'more output' | head -c 30000000\nexit 1\n");
    rig.settings.values["AsmAfter"] = "err";  // a file the tool does not write itself
    WriteFileBytes(rig.dir + "n.err", "stale");
    s.loader.hexPath = rig.dir + "n.hex";
    WriteFileBytes(rig.dir + "n.asm", "");
    BuildAndReload(s);
    EXPECT_EQ(s.view.note, "アセンブルエラーを検出しました。 ");
    EXPECT_EQ(ReadFileBytes(rig.dir + "n.err"), "stale");
    const std::string kept = ReadFileBytes(rig.dir + "n.tool-output");
    EXPECT_EQ(kept.rfind("first words\nmore output\n", 0), 0u);
    EXPECT_LT(kept.size(), (1u << 20) + 200);
    const std::string note = "\r\n…（以降の出力 " + std::to_string(30000000 + 12 - (1 << 20)) + " バイトは省略しました）\r\n";
    EXPECT_EQ(kept.substr(kept.size() - note.size()), note);

    // The source as the error file is opened, never written.
    rig.settings.values["AsmAfter"] = "asm";
    WriteFileBytes(rig.dir + "n.asm", "source");
    BuildAndReload(s);
    EXPECT_EQ(ReadFileBytes(rig.dir + "n.asm"), "source");
}

TEST(BuildAndReload, HalfWrittenHexKeepsTheLoadersNote) {
    BuildRig rig;
    auto& s = rig.session;
    s.loader.hexPath = rig.sourced("cut");
    rig.tool.hexText = ":040000001230002892\r\n:02000400";
    BuildAndReload(s);
    EXPECT_EQ(s.view.note, "HEXファイルが最後まで書かれていません（終了レコードがありません）。 ");
    EXPECT_EQ(s.view.noteColour, kColourRed);
    EXPECT_EQ(vx::test::ProgramWord(s, 0), 0x3012);  // what was written is loaded
}

// Build & Reload and Save As change no file the user did not ask them to.
TEST(BuildAndReload, FilesTheUserDidNotAskToChangeSurvive) {
    BuildRig rig;
    auto& s = rig.session;
    auto load = [&s](const std::string& path) {
        s.loader.hexPath = path;
        s.loader.skipHexDialog = true;
        LoadHexFile(s);
        s.loader.skipHexDialog = false;
    };
    auto hidden = [](const std::string& folder) {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(folder))
            n += entry.path().filename().string()[0] == '.';
        return n;
    };
    const std::string vendor = rig.work + "/vendor.hex";
    WriteFileBytes(vendor, kHex);
    load(vendor);
    const std::string title = s.view.title;

    // A HEX file without its source is not given up for a build.
    BuildAndReload(s);
    EXPECT_TRUE(rig.tool.started.empty());
    EXPECT_EQ(s.view.note, "ソースファイルがありません。HEXファイルはそのままです。 " + rig.work + "/vendor.asm ");
    EXPECT_EQ(ReadFileBytes(vendor), kHex);

    // A typo in the source costs neither the old HEX file nor the image.
    WriteFileBytes(rig.work + "/vendor.asm", "");
    rig.tool.writesHex = false;
    BuildAndReload(s);
    EXPECT_EQ(s.view.note, "アセンブルエラーを検出しました。 ");
    EXPECT_EQ(ReadFileBytes(vendor), kHex);
    EXPECT_EQ(vx::test::ProgramWord(s, 0), 0x3012);
    EXPECT_EQ(s.view.title, title);
    EXPECT_EQ(hidden(rig.work), 0);  // nothing left aside

    // Save As declined or failed: Reload and Build stay on the loaded file.
    WriteFileBytes(rig.work + "/other.hex", "theirs");
    rig.ui.fileAnswers.push_back(rig.work + "/other.hex");
    rig.ui.boxAnswers.push_back(MsgAnswer::Cancel);
    SaveHexFile(s);
    rig.ui.fileAnswers.push_back(rig.work + "/no/such/folder/x.hex");
    SaveHexFile(s);
    EXPECT_EQ(s.loader.hexPath, vendor);
    EXPECT_EQ(ReadFileBytes(rig.work + "/other.hex"), "theirs");

    // Save As over a symbolic link writes the file it names and keeps the link.
    WriteFileBytes(rig.work + "/real.hex", "old");
    fs::create_symlink("real.hex", rig.work + "/link.hex");
    rig.ui.fileAnswers.push_back(rig.work + "/link.hex");
    SaveHexFile(s);
    EXPECT_TRUE(fs::is_symlink(rig.work + "/link.hex"));
    EXPECT_EQ(ReadFileBytes(rig.work + "/real.hex"), BuildHexText(s));

    // A dotted folder: the HEX file is named beside the source, and the tool
    // runs there whatever folder a dialog showed last.
    const std::string folder = rig.dir + "john.doe/proj";
    fs::create_directories(folder);
    WriteFileBytes(folder + "/blink.asm", "");
    WriteFileBytes(rig.dir + "john.hex", "keep");
    rig.ui.fileAnswers.push_back(folder + "/blink.asm");
    ChooseSource(s);
    EXPECT_EQ(s.loader.hexPath, folder + "/blink.hex");
    rig.settings.values["OPEN_DIR0"] = rig.work;

    // A load while the tool runs is refused: the build loads what it built.
    std::string refusal;
    rig.ui.duringEvents = [&] {
        if (!s.view.busy || !refusal.empty())
            return;
        rig.ui.fileAnswers.push_back(vendor);
        LoadHexFile(s);
        refusal = s.view.note;
    };
    // The tool's messages never overwrite a file it did not write.
    rig.settings.values["AsmAfter"] = "txt";
    WriteFileBytes(folder + "/blink.txt", "my notes");
    rig.tool.writesHex = true;
    BuildAndReload(s);
    EXPECT_EQ(rig.tool.started.back().workDir, folder);
    EXPECT_EQ(refusal, "HEXファイルの生成中です。終わってからもう一度操作してください。 ");
    EXPECT_EQ(s.loader.hexPath, folder + "/blink.hex");
    EXPECT_EQ(s.view.note, "ＨＥＸファイルの再生成と再ロード完了。 ");
    EXPECT_EQ(ReadFileBytes(rig.dir + "john.hex"), "keep");

    rig.tool.writesHex = false;
    rig.tool.says = "blink.asm:3: error";
    BuildAndReload(s);
    EXPECT_EQ(ReadFileBytes(folder + "/blink.txt"), "my notes");
    EXPECT_EQ(ReadFileBytes(folder + "/blink.tool-output"), "blink.asm:3: error");
    EXPECT_EQ(rig.tool.editorOpened.back(), folder + "/blink.tool-output");
    EXPECT_EQ(ReadFileBytes(folder + "/blink.hex"), kHex);

    // A HEX file that cannot be moved aside stops the build before the tool.
    if (geteuid() != 0) {
        const auto runs = rig.tool.started.size();
        fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
        BuildAndReload(s);
        fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
        EXPECT_EQ(rig.tool.started.size(), runs);
        EXPECT_EQ(s.view.note.rfind("HEXファイルを一時的に退避できないため、ビルドしませんでした。 " + folder + "/blink.hex : ", 0), 0u);
        EXPECT_EQ(ReadFileBytes(folder + "/blink.hex"), kHex);
    }
}
