// While a board command runs, every command that would talk to the board or
// change the device, the image, the port or the program's life is refused
// with a note, and the running command writes what it started with.
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "app/menus.h"
#include "app/portselect.h"
#include "image/grid.h"
#include "image/hexfile.h"
#include "image/history.h"
#include "image/pcbufferops.h"
#include "image/selection.h"
#include "ops/workflows.h"
#include "serialization/serialization.h"
#include "session/status.h"
#include "support/imagefixture.h"
#include "support/simrig.h"
#include "toolchain/build.h"

using namespace vx;
using namespace vx::test;

TEST(BusyRule, EveryCommandDuringAProgramRunIsRefusedWithANote) {
    SimRig rig("FLASH", 1024, 64);  // the chip of a PIC16F84A
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    Session& s = *rig.session;
    const std::string hex = WriteTestFile(rig, "a.hex", ":02000000831665\r\n:02400E00F13F80\r\n:00000001FF\r\n");
    LoadHexPath(rig, hex);
    s.run.asmToolPath = WriteTestFile(rig, "gpasm", "");
    s.view.menus["nmuFile1"].caption = HistoryCaption(rig.dir, "PIC16F84A");
    s.grid.editorText = "12";
    const PcBuffer loaded = s.buffer;
    SerialProgramming serial(s);
    serial.setDataFinish("10");

    auto loadAgain = [&] {
        s.loader.skipHexDialog = true;
        LoadHexFile(s);
        s.loader.skipHexDialog = false;
    };
    const std::vector<std::pair<const char*, std::function<void()>>> commands = {
        {"LoadHexFile", loadAgain},
        {"HistoryChosen", [&] { HistoryChosen(s, 1); }},
        {"SelectDeviceIndex", [&] { SelectDeviceIndex(s, 1); }},
        {"SelectDevice", [&] {
             s.view.deviceIndex = 1;
             SelectDevice(s);
             s.view.deviceIndex = 0;
         }},
        {"ClearPcBuffer", [&] { ClearPcBuffer(s); }},
        {"BuildAndReload", [&] { BuildAndReload(s); }},
        {"ChooseSource", [&] { ChooseSource(s); }},
        {"ReloadHex", [&] { ReloadHex(s); }},
        {"SaveHexFile", [&] { SaveHexFile(s); }},
        {"GridCellChanged", [&] { GridCellChanged(s, 2, 0); }},
        {"ComboOptionChosen", [&] { ComboOptionChosen(s, "LP"); }},
        {"CommitCalibration", [&] { CommitCalibration(s); }},
        {"CommitIdText", [&] { CommitIdText(s, "7"); }},
        {"PortSettingsCommand", [&] { PortSettingsCommand(s); }},
        {"ReleasePort", [&] { ReleasePort(s); }},
        {"SearchBoardFromLabel", [&] { SearchBoardFromLabel(s); }},
        {"ExitRequested", [&] { EXPECT_FALSE(ExitRequested(s)); }},
        {"SerialProgramming::setEnabled", [&] { serial.setEnabled(true); }},
        {"RunProgram", [&] { EXPECT_EQ(RunProgram(s), Outcome::Busy); }},
        {"RunRead", [&] { EXPECT_EQ(RunRead(s), Outcome::Busy); }},
        {"RunVerify", [&] { EXPECT_EQ(RunVerify(s), Outcome::Busy); }},
        {"RunBlankCheck", [&] { EXPECT_EQ(RunBlankCheck(s), Outcome::Busy); }},
        {"RunErase", [&] { EXPECT_EQ(RunErase(s), Outcome::Busy); }},
    };
    std::vector<std::string> refused;
    bool tried = false;
    rig.ui.duringEvents = [&] {
        if (tried || !s.view.busy)
            return;
        tried = true;
        for (const auto& [name, run] : commands) {
            s.view.note.clear();
            run();
            if (s.view.note == "ライターと通信中です。終わってからもう一度操作してください。 " &&
                s.view.noteColour == kColourRed)
                refused.push_back(name);
            else
                ADD_FAILURE() << name << " ran: " << s.view.note;
        }
        // The window disables what the core refuses, and only that.
        for (const char* name : {"Command_pogram", "Combo_device", "HFGrid1", "TxtInit", "CmbInit", "Text_ID",
                                 "mnuFileSave", "Cmd_save", "mnuPcBufferMemoryClear", "nmuFile3", "exit"})
            EXPECT_TRUE(IsRefusedWhileBusy(s.view, name)) << name;
        for (const char* name : {"mnuSerch", "nmuHistryClear", "mnuLogFileOpen", "LblCheckSUM", ""})
            EXPECT_FALSE(IsRefusedWhileBusy(s.view, name)) << name;
    };

    ASSERT_EQ(RunProgram(s), Outcome::Passed);
    ASSERT_TRUE(tried);
    EXPECT_EQ(refused.size(), commands.size());
    // Nothing changed under the run, and the chip got the image it started with.
    EXPECT_EQ(s.device.name, "PIC16F84A");
    EXPECT_EQ(s.buffer.program, loaded.program);
    EXPECT_EQ(s.buffer.configArea, loaded.configArea);
    EXPECT_EQ(s.buffer.calibText, loaded.calibText);
    EXPECT_EQ(rig.chip().program[0], 0x1683);
    EXPECT_EQ(rig.chip().config[7], 0x3FF1);
    EXPECT_TRUE(rig.ui.fileRequests.empty());
    EXPECT_TRUE(rig.ui.boxes.empty());
    EXPECT_EQ(rig.ui.portWindowShown, 0);
    EXPECT_TRUE(rig.processes.started.empty());
    EXPECT_TRUE(s.link.port.isOpen());
    EXPECT_FALSE(serial.enabled);

    // Once the run is over the same commands run again.
    EXPECT_FALSE(IsRefusedWhileBusy(s.view, "mnuFileSave"));
    ClearPcBuffer(s);
    EXPECT_EQ(ProgramWord(s, 0), 0x3FFF);
    EXPECT_TRUE(ExitRequested(s));
    EXPECT_FALSE(s.link.port.isOpen());
}
