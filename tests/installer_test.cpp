// The checker tells an installer's technology from its bytes, and a file cut short or not an
// installer is unknown.
#include "check.h"
#include "installer_images.h"
#include "medium.h"

struct ImageCase {
    const char *name;
    std::string bytes; // the file's contents
    InstallerType type;
};
class RecognizedInstaller : public ::testing::TestWithParam<ImageCase>
{
};

TEST_P(RecognizedInstaller, IsOfItsType)
{
    MakeMedium("");
    sim::WriteFile("C:\\Pkg\\setup.exe", GetParam().bytes);
    EXPECT_EQ(GetParam().type, RecognizeInstaller("C:\\Pkg\\setup.exe"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// A version resource's ProductName string: lengths and type, the key, the value 32-bit aligned.
static const std::string Version =
    std::string(6, '\0') + Wide("ProductName") + std::string(2, '\0') + Wide("InstallShield");

INSTANTIATE_TEST_SUITE_P(
    Files, RecognizedInstaller,
    ::testing::Values(
        ImageCase{"Package", CompoundFile(0x000C1084), TYPE_MSI},
        ImageCase{"Patch", CompoundFile(0x000C1086), TYPE_UNKNOWN},
        ImageCase{"Burn", PeImage(".wixburn"), TYPE_BURN},
        ImageCase{"Inno", PeImage(".rsrc", "", 10, 11111, "rDlPtS\xCD\xE6"), TYPE_INNO},
        ImageCase{"InnoOtherResource", PeImage(".rsrc", "", 10, 11112, "rDlPtS"), TYPE_UNKNOWN},
        ImageCase{"Nsis", PeImage(".text", NsisFirstHeader), TYPE_NSIS},
        ImageCase{"NsisAtALaterBoundary",
                  PeImage(".text", std::string(1024, 'x') + NsisFirstHeader), TYPE_NSIS},
        ImageCase{"InstallShieldVersion", PeImage(".rsrc", "", 16, 1, Version), TYPE_INSTALLSHIELD},
        ImageCase{"InstallShieldStream", PeImage(".text", "ISSetupStream"), TYPE_INSTALLSHIELD},
        ImageCase{"AdvancedInstaller", PeImage(".text", "ADVINSTSFX" + std::string(16000, '\0')),
                  TYPE_ADVANCED},
        ImageCase{"PlainImage", PeImage(), TYPE_UNKNOWN}, ImageCase{"Empty", "", TYPE_UNKNOWN},
        // Cut inside the section table and in the root storage's entry.
        ImageCase{"CutBeforeTheSections", PeImage(".wixburn").substr(0, 0x150), TYPE_UNKNOWN},
        ImageCase{"CutPackage", CompoundFile(0x000C1084).substr(0, 600), TYPE_UNKNOWN}),
    ByName());
