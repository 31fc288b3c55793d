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
static void PrintTo(const ImageCase &image, std::ostream *out)
{
    *out << image.name;
}
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

static const ImageResource Inno = {10, 11111, "rDlPtS\xCD\xE6\xD7\x7B\x0B\x2A"};
static const ImageResource InnoOtherId = {10, 11112, Inno.data};
static const ImageResource ShieldVersion = {16, 1, VersionString("ProductName", "InstallShield")};

INSTANTIATE_TEST_SUITE_P(
    Files, RecognizedInstaller,
    ::testing::Values(
        ImageCase{"Package", CompoundFile(0x000C1084), TYPE_MSI},
        ImageCase{"Patch", CompoundFile(0x000C1086), TYPE_UNKNOWN},
        ImageCase{"Burn", PeImage({".data", ".wixburn"}), TYPE_BURN},
        ImageCase{"Inno", PeImage({}, &Inno), TYPE_INNO},
        ImageCase{"InnoOtherResource", PeImage({}, &InnoOtherId), TYPE_UNKNOWN},
        ImageCase{"Nsis", PeImage({}, nullptr, NsisFirstHeader()), TYPE_NSIS},
        ImageCase{"NsisAtALaterBoundary",
                  PeImage({}, nullptr, std::string(1024, 'x') + NsisFirstHeader()), TYPE_NSIS},
        ImageCase{"InstallShieldVersion", PeImage({}, &ShieldVersion), TYPE_INSTALLSHIELD},
        ImageCase{"InstallShieldStream", PeImage({}, nullptr, "ISSetupStream\0\0"),
                  TYPE_INSTALLSHIELD},
        ImageCase{"AdvancedInstaller",
                  PeImage({}, nullptr, "ADVINSTSFX" + std::string(16000, '\0')), TYPE_ADVANCED},
        ImageCase{"PlainImage", PeImage({".data"}), TYPE_UNKNOWN},
        ImageCase{"NotAnImage", std::string(4096, 'M'), TYPE_UNKNOWN},
        ImageCase{"Empty", "", TYPE_UNKNOWN},
        // Cut inside the section table, in the version resource, in the first header, and in the
        // compound file's root entry.
        ImageCase{"CutBeforeTheSections", PeImage({".wixburn"}).substr(0, 0x150), TYPE_UNKNOWN},
        ImageCase{"CutVersion",
                  PeImage({}, &ShieldVersion).substr(0, PeImage({}, &ShieldVersion).size() - 0x180),
                  TYPE_UNKNOWN},
        ImageCase{"CutFirstHeader", PeImage({}, nullptr, NsisFirstHeader().substr(0, 12)),
                  TYPE_UNKNOWN},
        ImageCase{"CutPackage", CompoundFile(0x000C1084).substr(0, 600), TYPE_UNKNOWN}),
    ByName());
