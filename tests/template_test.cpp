// The setup list template of the medium kit (examples/template/StageRun.ini), as the kit ships it
// with Windows line ends, passes the checker and does what its comments say.
#include "checking.h"

#include <fstream>
#include <sstream>

static std::string ShippedTemplate()
{
    std::ifstream in(STAGERUN_SOURCE_DIR "/examples/template/StageRun.ini", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string crlf;
    for (char c : text.str()) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    return crlf;
}

TEST(Template, RunsItsExampleSteps)
{
    std::string ini = ShippedTemplate();
    ASSERT_NE(std::string::npos, ini.find("[SetupList]")) << "template not found";
    MakeMedium(ini);
    sim::WriteFile("C:\\Pkg\\driver\\widget.inf", "[Version]\n");
    sim::AddDevice({{"PCI\\VEN_8086&VID_1234"}, "Widget"});
    // The commented-out removal must leave this one alone.
    sim::AddDevice({{"USB\\VID_5678&PID_0002"}, "Other"});
    AddInstaller("C:\\Pkg\\driver\\setup.exe", 1000);
    AddInstaller("C:\\Pkg\\app\\setup.exe", 1000);
    AddInstaller("C:\\Pkg\\app\\vcredist.exe", 500);
    sim::WriteFile("C:\\Pkg\\app\\setup.iss", "");
    // isetup.exe runs as the launcher's child from 2000 to 7000 ms and holds the second step.
    sim::At(2000, [] { sim::AddProcess("isetup.exe", sim::kLauncherPid, 5000); });
    sim::ScriptMessageBoxAnswer(IDNO);
    AddInstaller("C:\\Pkg\\stagerun64.exe", 0);
    CheckOutput check = Check("C:\\Pkg");
    EXPECT_EQ(CHECK_CLEAN, check.exitCode) << check.text;

    EXPECT_TRUE(Finished(sim::Run("")));

    ASSERT_EQ(1u, sim::DriverInstalls().size());
    EXPECT_EQ("PCI\\VEN_8086&VID_1234", sim::DriverInstalls()[0].hardwareId);
    EXPECT_EQ("C:\\Pkg\\driver\\widget.inf", sim::DriverInstalls()[0].infPath);
    ASSERT_EQ(3u, sim::Launches().size());
    const sim::Launch &direct = sim::Launches()[0];
    EXPECT_EQ(".\\setup.exe", direct.file);
    EXPECT_EQ(" ", direct.parameters);
    EXPECT_EQ("C:\\Pkg\\driver", direct.currentDirectory);
    const sim::Launch &dialog = sim::Launches()[1];
    EXPECT_GE(dialog.timeMs, 7000u + 6000u) << "the wait list and the settle rounds held step 2";
    EXPECT_EQ("C:\\Pkg\\app", dialog.currentDirectory);
    EXPECT_EQ("-s -F1\"C:\\Pkg\\APP\\SETUP.ISS\" -F2\"C:\\WINDOWS\\temp\\SETUP.LOG\"",
              dialog.parameters);
    const sim::Launch &copied = sim::Launches()[2];
    EXPECT_EQ("C:\\WINDOWS\\vcredist.exe", copied.file);
    EXPECT_EQ("/quiet /norestart", copied.parameters);
    EXPECT_TRUE(sim::FileExistsAt("C:\\WINDOWS\\vcredist.exe"));
    EXPECT_TRUE(sim::RemovedDevices().empty());
    EXPECT_EQ(0, sim::RescanCount());
    // Step 3's restart flag: the question is asked, and answered No.
    EXPECT_EQ(1u, sim::MessageBoxes().size());
    EXPECT_TRUE(sim::RestartRequests().empty());
}
