#include <gtest/gtest.h>

#include <filesystem>

#include "support/fakes.h"
#include "toolchain/toolsettings.h"

using namespace vx;
using vx::test::TestRig;
using vx::test::WriteFileBytes;

namespace {
namespace fs = std::filesystem;

const char* const kRefusal = "アセンブラ、または、コンパイラを指定してください。";

std::string makeFile(const std::string& path, bool executable) {
    WriteFileBytes(path, "");
    fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    return path;
}
}  // namespace

TEST(ToolSettings, ClosingAtOnceStoresTheDisplayedDefaults) {
    TestRig rig;
    auto& s = *rig.session;
    ToolSettings w(s);
    EXPECT_EQ(w.option, "/q");
    EXPECT_EQ(w.afterFile, "lst");
    EXPECT_TRUE(w.notepad);
    EXPECT_FALSE(w.associated);
    EXPECT_TRUE(w.changeFlag);  // filling the boxes counts as an edit
    w.close();
    EXPECT_EQ(rig.settings.values["AsmOption"], "/q");
    EXPECT_EQ(rig.settings.values["AsmAfter"], "lst");
    EXPECT_EQ(rig.settings.values["EditerA"], "True");
    EXPECT_EQ(rig.settings.values["EditerB"], "False");
    EXPECT_EQ(rig.settings.values["CCSC_option"], "0");
    EXPECT_EQ(rig.settings.values.count("AsmFilePathWithFileName"), 0u);
}

TEST(ToolSettings, StoredValuesAreShownAndEmptyBoxesAreNoEdit) {
    TestRig rig;
    auto& s = *rig.session;
    rig.settings.values = {{"AsmOption", ""}, {"AsmAfter", ""}, {"EditerA", "False"}, {"EditerB", "True"},
                           {"CCSC_option", "1"}};
    s.run.asmToolPath = "/opt/old/tool";
    ToolSettings w(s);
    EXPECT_EQ(w.asmPath, "/opt/old/tool");
    EXPECT_FALSE(w.notepad);
    EXPECT_TRUE(w.associated);
    EXPECT_TRUE(w.ccscDeviceInfo);
    EXPECT_FALSE(w.changeFlag);
    s.run.asmToolPath = "changed elsewhere";
    w.close();  // nothing to store: the tool path goes back
    EXPECT_EQ(s.run.asmToolPath, "/opt/old/tool");
    EXPECT_EQ(rig.settings.values["EditerB"], "True");

    ToolSettings again(s);
    again.chooseNotepad();
    EXPECT_FALSE(again.associated);
    again.setCcscDeviceInfo(false);
    again.close();
    EXPECT_EQ(rig.settings.values["EditerA"], "True");
    EXPECT_EQ(rig.settings.values["EditerB"], "False");
    EXPECT_EQ(rig.settings.values["CCSC_option"], "0");
}

TEST(ToolSettings, ChosenToolIsStoredWithItsFolder) {
    TestRig rig;
    auto& s = *rig.session;
    rig.settings.values["AsmFilePath"] = "/start";
    const std::string tool = makeFile(rig.dir + "mpasmwin.exe", false);
    rig.ui.fileAnswers.push_back(tool);
    ToolSettings w(s);
    w.chooseTool();
    EXPECT_EQ(rig.ui.fileRequests[0].title, "アセンブラ・コンパイラの場所を指定してください。");
    EXPECT_EQ(rig.ui.fileRequests[0].startDir, "/start");
    EXPECT_EQ(rig.ui.fileRequests[0].filter, "全てのファイル|*|EXEファイル|*.EXE");
    EXPECT_EQ(s.run.asmToolPath, tool);
    EXPECT_EQ(w.asmPath, tool);
    w.close();
    EXPECT_EQ(rig.settings.values["AsmFilePathWithFileName"], tool);
    EXPECT_EQ(rig.settings.values["AsmFilePath"], rig.dir.substr(0, rig.dir.size() - 1));
    EXPECT_EQ(s.run.asmToolPath, tool);
}

TEST(ToolSettings, ExecutableWithoutExtensionIsATool) {
    TestRig rig;
    EXPECT_TRUE(ToolSettings::isToolFile(makeFile(rig.dir + "gpasm", true)));
    EXPECT_TRUE(ToolSettings::isToolFile(rig.dir + "missing.EXE"));
    EXPECT_FALSE(ToolSettings::isToolFile(makeFile(rig.dir + "build.bat", false)));
    EXPECT_FALSE(ToolSettings::isToolFile(rig.dir + "missing"));
    EXPECT_FALSE(ToolSettings::isToolFile(rig.dir));  // a folder
}

TEST(ToolSettings, RefusedChoiceKeepsThePreviousTool) {
    TestRig rig;
    auto& s = *rig.session;
    s.run.asmToolPath = "/opt/old/mpasm.exe";
    rig.settings.values["AsmFilePathWithFileName"] = "/opt/old/mpasm.exe";
    const std::string bat = makeFile(rig.dir + "make.bat", false);
    rig.ui.fileAnswers.push_back(bat);
    ToolSettings w(s);
    w.chooseTool();
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].text, kRefusal);
    EXPECT_FALSE(w.changeFlag);
    EXPECT_EQ(s.run.asmToolPath, "/opt/old/mpasm.exe");
    // Even a later edit does not store the refused file.
    w.setOption("-q");
    w.close();
    EXPECT_EQ(rig.settings.values["AsmFilePathWithFileName"], "/opt/old/mpasm.exe");
    EXPECT_EQ(rig.settings.values["AsmOption"], "-q");
    EXPECT_EQ(s.run.asmToolPath, "/opt/old/mpasm.exe");
}

TEST(ToolSettings, GpasmAndSdccTakeTheirOwnOptionsForTheUntouchedDefault) {
    TestRig rig;
    auto& s = *rig.session;
    s.device.name = "PIC16F84A";
    const std::string gpasm = makeFile(rig.dir + "gpasm", true);
    const std::string sdcc = makeFile(rig.dir + "sdcc", true);
    rig.ui.fileAnswers = {gpasm, sdcc, sdcc};
    ToolSettings w(s);
    ASSERT_EQ(w.option, "/q");
    w.chooseTool();
    // Every file is offered first: the tools have no ".exe" here.
    EXPECT_EQ(rig.ui.fileRequests.at(0).filter, "全てのファイル|*|EXEファイル|*.EXE");
    EXPECT_EQ(w.option, "-a inhx8m");
    w.chooseTool();  // no longer the default: kept
    EXPECT_EQ(w.option, "-a inhx8m");
    w.setOption(" /q ");
    w.chooseTool();
    EXPECT_EQ(w.option, "-mpic14");
    w.close();
    EXPECT_EQ(rig.settings.values["AsmOption"], "-mpic14");
}

// With no options stored, the box shows what the build gives the tool.
TEST(ToolSettings, NothingStoredShowsTheOptionsTheBuildUses) {
    TestRig rig;
    auto& s = *rig.session;
    s.run.asmToolPath = makeFile(rig.dir + "gpasm", true);
    EXPECT_EQ(ToolSettings(s).option, "-a inhx8m");
    s.run.asmToolPath = rig.dir + "mpasmwin.exe";
    EXPECT_EQ(ToolSettings(s).option, "/q");
    rig.settings.values["AsmOption"] = "-q";
    s.run.asmToolPath = rig.dir + "gpasm";
    EXPECT_EQ(ToolSettings(s).option, "-q");
}

// sdcc gets the part of the device selected when the build runs, not of the
// one selected when the tool was chosen; a part the options name stays.
TEST(ToolSettings, SdccGetsTheSelectedPartAtEachBuild) {
    using Args = std::optional<std::vector<std::string>>;
    EXPECT_EQ(ToolArguments("/usr/bin/sdcc", "-mpic14", "PIC16F84A"), (Args{{"-mpic14", "-p16f84a"}}));
    EXPECT_EQ(ToolArguments("/usr/bin/sdcc", "-mpic14", "PIC16F628A"), (Args{{"-mpic14", "-p16f628a"}}));
    EXPECT_EQ(ToolArguments("/opt/SDCC.EXE", "-mpic14 -p16f877", "PIC16F84A"), (Args{{"-mpic14", "-p16f877"}}));
    EXPECT_EQ(ToolArguments("/usr/bin/sdcc", "--use-non-free", ""), (Args{{"--use-non-free"}}));
    EXPECT_EQ(ToolArguments("/usr/bin/gpasm", "-a inhx8m", "PIC16F84A"), (Args{{"-a", "inhx8m"}}));
    EXPECT_EQ(ToolArguments("/usr/bin/sdcc", "-mpic14 \"open", "PIC16F84A"), std::nullopt);
}

TEST(ToolSettings, CancelRestoresTheToolAndStoresNothing) {
    TestRig rig;
    auto& s = *rig.session;
    s.run.asmToolPath = "/opt/old/mpasm.exe";
    const std::string tool = makeFile(rig.dir + "gpasm", true);
    ToolSettings w(s);
    w.chooseTool();  // dialog cancelled: nothing changes
    EXPECT_EQ(s.run.asmToolPath, "/opt/old/mpasm.exe");
    rig.ui.fileAnswers.push_back(tool);
    w.chooseTool();
    EXPECT_EQ(s.run.asmToolPath, tool);
    w.cancel();
    EXPECT_EQ(s.run.asmToolPath, "/opt/old/mpasm.exe");
    EXPECT_TRUE(rig.settings.values.empty());
}
