// Broken setup lists, each checked by the medium checker and run by the whole program: no crash,
// every field of the table ends inside its slot, and only the steps that the capacity rule lets
// through (every field within its slot, values of at most 149 characters, at most 99 steps, the
// list ending at the first step that does not fit) launch anything or touch a device.
#include "checking.h"

struct BadList {
    const char *name;
    std::string ini;
    std::vector<std::string> launched; // file name(parameters), in order
    size_t removals;                   // of the one device, USB\VID_1234&PID_0001
};

static std::string List(const std::string &keys)
{
    return "[SetupList]\n" + keys;
}

static std::string Garbage(size_t size)
{
    std::string bytes(size, '\0');
    unsigned state = 12345;
    for (char &c : bytes) {
        state = state * 1103515245u + 12345u;
        c = (char)(state >> 16);
    }
    return bytes;
}

static std::string ThousandSteps()
{
    std::string keys;
    for (int n = 1; n <= 1000; n++)
        keys += "Setup" + std::to_string(n) + "=1,a.exe,/" + std::to_string(n) + "\n";
    return List(keys);
}

static std::vector<std::string> FirstLaunches(int count)
{
    std::vector<std::string> launched;
    for (int n = 1; n <= count; n++)
        launched.push_back("a.exe(/" + std::to_string(n) + ")");
    return launched;
}

// The second step is bad; the first runs and the third never does.
static BadList SecondStepOver(const char *name, const std::string &second)
{
    return {name,
            List("Setup1=1,a.exe,/1\nSetup2=" + second + "\nSetup3=1,c.exe,/3\n"),
            {"a.exe(/1)"},
            0};
}

static const std::string Lf = List("Setup1=1,a.exe,/1\nSetup2=1,b.exe,/2\n");
static const std::vector<std::string> AB = {"a.exe(/1)", "b.exe(/2)"};

static void PrintTo(const BadList &list, std::ostream *out)
{
    *out << list.name;
}

class BadSetupList : public ::testing::TestWithParam<BadList>
{
};

TEST_P(BadSetupList, RunsOnlyWhatFits)
{
    MakeMedium("");
    sim::WriteFile("C:\\Pkg\\StageRun.ini", GetParam().ini);
    for (const char *name : {"a.exe", "b.exe", "c.exe"})
        AddInstaller(std::string("C:\\Pkg\\") + name, 0);
    sim::AddDevice({{"USB\\VID_1234&PID_0001"}, "Widget"});
    // The checker reads the same list first: what it plans to launch is what then runs.
    CheckOutput check = Check("C:\\Pkg", false, true);

    EXPECT_TRUE(Finished(sim::Run("")));
    std::vector<std::string> ran;
    for (const sim::Launch &launch : sim::Launches())
        ran.push_back(launch.file + "|" + launch.currentDirectory + "|" + launch.parameters);
    if (check.exitCode == CHECK_UNREADABLE)
        EXPECT_EQ(0u, check.text.find("{\"error\": ")) << check.text;
    else
        EXPECT_EQ(ran, PlannedLaunches(check.text)) << check.text;
    std::vector<std::string> launched;
    for (const sim::Launch &launch : sim::Launches())
        launched.push_back(GetFileNamePart(launch.file.c_str()) + ("(" + launch.parameters + ")"));
    EXPECT_EQ(GetParam().launched, launched);
    EXPECT_EQ(GetParam().removals, sim::RemovedDevices().size());
    EXPECT_TRUE(sim::DriverInstalls().empty());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(0, sim::OpenHandleCount());
    for (int n = 0; n < SETUP_SLOTS; n++) {
        EXPECT_TRUE(memchr(SetupTable.Kind[n], 0, KIND_SIZE) &&
                    memchr(SetupTable.File[n], 0, FILE_SIZE) &&
                    memchr(SetupTable.Arguments[n], 0, ARGUMENTS_SIZE) &&
                    memchr(SetupTable.WaitList[n], 0, WAITLIST_SIZE) &&
                    memchr(SetupTable.RebootFlag[n], 0, REBOOTFLAG_SIZE))
            << "slot " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, BadSetupList,
    ::testing::Values(
        BadList{"Empty", "", {}, 0}, BadList{"BinaryGarbage", Garbage(4096), {}, 0},
        // A NUL ends the value it stands in; a line of NULs is no key.
        BadList{"NulBytes",
                List("Setup1=1,a.exe,/1" + std::string("\0,c.exe,/x\n\0\0\0\n", 15) +
                     "Setup2=1,b.exe,/2\n"),
                AB, 0},
        // The byte-order mark is skipped (as Wine does), not read into the section name.
        BadList{"Utf8ByteOrderMark",
                "\xEF\xBB\xBF" + List("Setup1=1,a.exe,/1\r\nSetup2=1,b.exe,/2\r\n"), AB, 0},
        BadList{"CrOnlyLines", "[SetupList]\rSetup1=1,a.exe,/1\rSetup2=1,b.exe,/2\r", AB, 0},
        BadList{"LfOnlyLines", Lf, AB, 0},
        BadList{"TenMegabyteLine",
                List("Setup1=1,a.exe,/1\nSetup2=1,b.exe,/" + std::string(10 << 20, 'x') +
                     "\nSetup3=1,c.exe,/3\n"),
                {"a.exe(/1)"},
                0},
        BadList{"ThousandSteps", ThousandSteps(), FirstLaunches(LAST_SETUP_SLOT), 0},
        // The first section and the first key of a name win.
        BadList{"DuplicateSectionsAndKeys",
                List("Setup1=1,a.exe,/1\nsetup1=1,c.exe,/x\n[SetupList]\nSetup2=1,c.exe,/2\n"
                     "[setuplist]\nSetup2=-1,x,vid_1234\n"),
                {"a.exe(/1)"},
                0},
        // An opening quote without its closing one stays in the value.
        BadList{"UnterminatedQuotedValue", List("Setup1=\"1,a.exe,/1\nSetup2=1,b.exe,/2\n"), {}, 0},
        BadList{"UnterminatedQuotedOption",
                List("Setup1=1,a.exe,-s -f2\"%windir%\\a.log\nSetup2=1,b.exe,/2\"\n"),
                {"a.exe(-s -F2\"C:\\WINDOWS\\temp\\A.LOG)", "b.exe(/2\")"},
                0},
        SecondStepOver("KindOverCapacity", "123,b.exe,/2"),
        SecondStepOver("FileOverCapacity", "1," + std::string(100, 'f')),
        SecondStepOver("WaitListOverCapacity", "1,b.exe,/2," + std::string(100, 'w')),
        SecondStepOver("RebootFlagOverCapacity", "1,b.exe,/2,w,10"),
        SecondStepOver("ValueOverCapacity", "1,b.exe,/" + std::string(141, 'x')),
        // Quoted, the read would cut it to 149 characters unseen with one byte less of room.
        SecondStepOver("QuotedValueOverCapacity", "\"1,b.exe,/" + std::string(141, 'x') + "\""),
        // Cut to two characters, "-10" would remove the device.
        SecondStepOver("KindMinusTen", "-10,x,vid_1234"),
        BadList{"KindEleven", List("Setup1=11,b.exe,/2\nSetup2=-1,x,vid_1234\n"), {"b.exe(/2)"}, 1},
        // An empty kind ends the run at once, whatever follows.
        BadList{
            "CommasOnly", List("Setup1=,,,,,,\nSetup2=1,a.exe,/1\nSetup3=-1,x,vid_1234\n"), {}, 0}),
    [](const ::testing::TestParamInfo<BadList> &info) { return std::string(info.param.name); });
