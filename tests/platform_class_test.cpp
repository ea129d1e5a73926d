#include "app/app.h"
#include "support/trevask_test.h"

namespace trevask_test {
namespace {

struct VersionCase : Row {
    DWORD versionWord;
    int expected;
};


class ClassifyPlatformTest : public TrevaskTest, public testing::WithParamInterface<VersionCase> {};

TEST_P(ClassifyPlatformTest, ReadsBit31AndTheMajorVersionOnly)
{
    sim::SetVersion(GetParam().versionWord);
    EXPECT_EQ(ClassifyPlatform(), GetParam().expected);
    EXPECT_EQ(sim::CallsTo("GetVersion").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, ClassifyPlatformTest,
    testing::Values(VersionCase{"Win32s", kWin32s, OS_WIN32S},
                    VersionCase{"Win32s_minor_ignored", 0x80001F03, OS_WIN32S},
                    VersionCase{"Windows95", kWin95, OS_WIN9X},
                    VersionCase{"Windows98", kWin98, OS_WIN9X},
                    VersionCase{"WindowsMe", 0xC0005A04, OS_WIN9X},
                    VersionCase{"NT31", kNt31, OS_NT3},
                    VersionCase{"NT35", 0x03070503, OS_NT3},
                    VersionCase{"NT351", kNt351, OS_NT3},
                    VersionCase{"NT40", kNt40, OS_NT4PLUS},
                    VersionCase{"XP", kWinXp, OS_NT4PLUS},
                    VersionCase{"Windows10", kWin10, OS_NT4PLUS},
                    VersionCase{"FutureMajor", 0x00000014, OS_NT4PLUS}),
    RowName());

}  // namespace
}  // namespace trevask_test
