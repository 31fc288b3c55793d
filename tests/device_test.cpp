// Device operations: the four device walks, driver installation and the hardware rescan.
#include <gtest/gtest.h>

#include "sim.h"
#include "stagerun.h"

#include <cctype>
#include <string>
#include <vector>

static int Add(std::vector<std::string> ids, bool present = true, size_t paddedSize = 0,
               DWORD idError = 0, const char *description = "")
{
    sim::Device device;
    device.hardwareIds = ids;
    device.present = present;
    device.paddedHardwareIdSize = paddedSize;
    device.hardwareIdError = idError;
    device.description = description;
    return sim::AddDevice(device);
}

static std::string Upper(std::string text)
{
    for (char &c : text)
        c = (char)toupper((unsigned char)c);
    return text;
}

// Every library is taken from the system directory, by its bare name.
static void ExpectSystemLoads()
{
    ASSERT_FALSE(sim::LibraryLoads().empty());
    for (const sim::LibraryLoad &load : sim::LibraryLoads()) {
        EXPECT_TRUE(load.name == "newdev.dll" || load.name == "cfgmgr32.dll") << load.name;
        EXPECT_EQ((DWORD)LOAD_LIBRARY_SEARCH_SYSTEM32, load.flags) << load.name;
    }
}

TEST(DeviceWalk, FindDeviceByHardwareId)
{
    int handles = sim::OpenHandleCount();
    Add({}); // lacks the property: passed over
    Add({"HID\\VID_1234&PID_0001&REV_0100", "HID\\VID_1234&PID_0001", "HID_DEVICE"});
    Add({"USB\\VID_1234&PID_0002"}, false);
    Add({"USB\\VID_5678&PID_0001"}, true, 400);
    Add({"USB\\VID_1234&PID_0001&REV_0100", "USB\\VID_1234&PID_0001"});
    Add({"usb\\vid_1234&pid_0001&rev_0200"});
    static const struct {
        const char *first, *second;
        const char *found;   // NULL: no device
        size_t reportedSize; // of the found device's hardware ids
    } tests[] = {
        /* 0 */ {"hid_device", "hid_device", NULL, 0}, // in a later string only
        /* 1 */ {"usb\\vid_1234", "usb\\vid_1234", "USB\\VID_1234&PID_0001&REV_0100", 54},
        /* 2 */ {"pid_0002", "pid_0002", NULL, 0}, // not present
        /* 3 */ {"vid_5678", "vid_5678", NULL, 0}, // longer than the buffer
        /* 4 */ {"vid_1234", "rev_0200", "USB\\VID_1234&PID_0001&REV_0200", 32},
        /* 5 */ {"", "", "HID\\VID_1234&PID_0001&REV_0100", 65},
        /* 6 */ {"rev_0100", "hid\\", "HID\\VID_1234&PID_0001&REV_0100", 65},
        /* 7 */ {"rev_0100", "rev_0200", NULL, 0},
    };
    for (size_t i = 0; i < sizeof(tests) / sizeof(tests[0]); i++) {
        char first[64], second[64], id[HARDWARE_ID_SIZE];
        snprintf(first, sizeof(first), "%s", tests[i].first);
        snprintf(second, sizeof(second), "%s", tests[i].second);
        memset(id, 'x', sizeof(id));
        EXPECT_EQ(tests[i].found ? 1 : 0, FindDeviceByHardwareId(first, second, id)) << i;
        // A hit writes the first id, then zeros up to the reported size, and nothing after.
        std::string expected(sizeof(id), 'x');
        if (tests[i].found) {
            expected.replace(0, tests[i].reportedSize, tests[i].reportedSize, '\0');
            expected.replace(0, strlen(tests[i].found), tests[i].found);
            EXPECT_EQ(Upper(tests[i].second), second) << i;
        }
        EXPECT_EQ(expected, std::string(id, sizeof(id))) << i;
        EXPECT_EQ(Upper(tests[i].first), first) << i;
        EXPECT_EQ(handles, sim::OpenHandleCount()) << i;
    }
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST(DeviceWalk, RemoveDeviceById)
{
    int handles = sim::OpenHandleCount();
    Add({"ROOT\\E2EDEV_EXTRA"}); // begins with the id: never removed
    Add({"ROOT\\E2EDEV"}, true, 400);
    int absent = Add({"Root\\E2eDev", "ROOT\\OTHER"}, false);
    int second = Add({"ROOT\\E2EDEV"});
    int widget = Add({"ROOT\\WIDGET"}, true, 0, 0, "Widget Device");
    char none[] = "";
    char prefix[] = "root\\e2e";
    EXPECT_EQ(0, RemoveDeviceById(none, prefix, 0));
    EXPECT_TRUE(sim::RemovedDevices().empty());

    // The first listed device whose first id is the text, present or not; then the next one.
    char id[] = "root\\e2edev";
    EXPECT_EQ(1, RemoveDeviceById(none, id, 0));
    EXPECT_STREQ("ROOT\\E2EDEV", id);
    EXPECT_EQ(std::vector<int>({absent}), sim::RemovedDevices());
    EXPECT_EQ(1, RemoveDeviceById(none, id, 0));
    EXPECT_EQ(std::vector<int>({absent, second}), sim::RemovedDevices());
    EXPECT_EQ(0, RemoveDeviceById(none, id, 0));

    // The oversized device was reported by each walk, and passed over.
    ASSERT_EQ(4u, sim::MessageBoxes().size());
    for (const sim::MessageBoxRecord &box : sim::MessageBoxes()) {
        EXPECT_TRUE(box.wide);
        EXPECT_EQ("버퍼가 부족합니다.", box.text);
        EXPECT_EQ("오류", box.caption);
        EXPECT_EQ((UINT)MB_OK, box.style);
        EXPECT_EQ(NULL, box.owner);
    }

    char description[] = "widget device";
    char other[] = "ROOT\\E2EDEV_EXTRA";
    EXPECT_EQ(1, RemoveDeviceById(description, other, 1));
    EXPECT_EQ(std::vector<int>({absent, second, widget}), sim::RemovedDevices());
    EXPECT_EQ(handles, sim::OpenHandleCount());
}

TEST(DeviceWalk, ReadFailures)
{
    int handles = sim::OpenHandleCount();
    Add({"PCI\\VEN_0001"}, true, 0, ERROR_ACCESS_DENIED);
    int readable = Add({"PCI\\VEN_0001"}, true, 0, 0, "Bridge");
    char id[] = "pci\\ven_0001";
    char none[] = "";
    char out[HARDWARE_ID_SIZE] = "untouched";
    BOOL reboot = FALSE;

    // A read error other than a missing or oversized property ends all walks but the removal.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, LocateDevice(id, none, 0));
    EXPECT_EQ(0, InstallDriverForDevice(NULL, id, none, "C:\\e2edev.inf", 0, 0, &reboot));
    EXPECT_TRUE(sim::DriverInstalls().empty());
    EXPECT_EQ(0, FindDeviceByHardwareId(id, id, out));
    EXPECT_STREQ("untouched", out);
    EXPECT_EQ(1, RemoveDeviceById(none, id, 0));
    EXPECT_EQ(std::vector<int>({readable}), sim::RemovedDevices());

    Add({"PCI\\VEN_0002"}, true, 0, 0, "Bridge");
    char id2[] = "PCI\\VEN_0002";
    char description[] = "Bridge";
    sim::FailDeviceLists(true);
    EXPECT_EQ(0, FindDeviceByHardwareId(id2, id2, out));
    EXPECT_EQ(0, GetHardwareIdByDescription(out, description));
    EXPECT_EQ(0, RemoveDeviceById(description, id2, 1));
    EXPECT_EQ(1u, sim::RemovedDevices().size());
    EXPECT_STREQ("untouched", out);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(handles, sim::OpenHandleCount());
}

TEST(DeviceInstall, InstallDriverForDevice)
{
    sim::UseTemporaryDrives();
    sim::WriteFile("C:\\Drv\\e2edev.inf", "[Version]\r\n");
    const char *inf = "C:\\Drv\\e2edev.inf";
    HWND owner = (HWND)(uintptr_t)0x1234;
    int handles = sim::OpenHandleCount();
    Add({"Root\\E2eDev"}, true, 0, 0, "E2E Device");
    Add({"PCI\\VEN_8086&DEV_1234&SUBSYS_0001", "PCI\\VEN_8086&DEV_1234"});
    Add({"ROOT\\BROKEN"}, true, 0, ERROR_INVALID_DATA, "Broken Device");
    char none[] = "";
    BOOL reboot = FALSE;

    // Not any listed device's first id: the platform is not called.
    char later[] = "pci\\ven_8086&dev_1234";
    EXPECT_EQ(0, InstallDriverForDevice(owner, later, none, inf, 0, 0, &reboot));
    EXPECT_TRUE(sim::DriverInstalls().empty());

    sim::ScriptDriverInstall(TRUE, TRUE);
    char id[] = "root\\e2edev";
    EXPECT_EQ(1, InstallDriverForDevice(owner, id, none, inf, 0, 0, &reboot));
    EXPECT_TRUE(reboot);
    ASSERT_EQ(1u, sim::DriverInstalls().size());
    EXPECT_EQ("ROOT\\E2EDEV", sim::DriverInstalls()[0].hardwareId);
    EXPECT_EQ(inf, sim::DriverInstalls()[0].infPath);
    EXPECT_EQ(0u, sim::DriverInstalls()[0].flags);
    EXPECT_EQ(owner, sim::DriverInstalls()[0].owner);

    // By description the id goes to the platform as the device lists it.
    sim::ScriptDriverInstall(TRUE, FALSE);
    char description[] = "e2e device";
    EXPECT_EQ(1, InstallDriverForDevice(owner, none, description, inf, 0, 1, &reboot));
    ASSERT_EQ(2u, sim::DriverInstalls().size());
    EXPECT_EQ("Root\\E2eDev", sim::DriverInstalls()[1].hardwareId);

    // The description found but its hardware id unreadable: an empty id, nothing installed.
    char broken[] = "broken device";
    char out[HARDWARE_ID_SIZE] = "untouched";
    EXPECT_EQ(1, GetHardwareIdByDescription(out, broken));
    EXPECT_STREQ("", out);
    EXPECT_EQ(0, InstallDriverForDevice(owner, none, broken, inf, 0, 1, &reboot));

    // A failed installation leaves the caller's flag alone; so does a missing newdev.dll.
    sim::ScriptDriverInstall(FALSE, TRUE);
    reboot = FALSE;
    EXPECT_EQ(0, InstallDriverForDevice(owner, id, none, inf, 0, 0, &reboot));
    EXPECT_EQ(3u, sim::DriverInstalls().size());
    ExpectSystemLoads();
    sim::ScriptDriverInstall(TRUE, TRUE);
    sim::FailLibrary("newdev.dll");
    EXPECT_EQ(0, InstallDriverForDevice(owner, id, none, inf, 0, 0, &reboot));
    EXPECT_EQ(3u, sim::DriverInstalls().size());
    EXPECT_FALSE(reboot);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(handles, sim::OpenHandleCount());
}

TEST(DeviceInstall, RescanDevices)
{
    EXPECT_EQ(1, RescanDevices());
    EXPECT_EQ(1, sim::RescanCount());
    sim::ScriptRescanResult(CR_FAILURE);
    EXPECT_EQ(0, RescanDevices());
    EXPECT_EQ(2, sim::RescanCount());
    sim::ScriptRescanResult(CR_SUCCESS);
    sim::FailRootLocate(true);
    EXPECT_EQ(0, RescanDevices());
    ExpectSystemLoads();
    sim::FailRootLocate(false);
    sim::FailLibrary("cfgmgr32.dll");
    EXPECT_EQ(0, RescanDevices());
    EXPECT_EQ(2, sim::RescanCount());
    EXPECT_TRUE(sim::MessageBoxes().empty());
}
