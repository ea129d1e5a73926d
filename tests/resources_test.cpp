// The compiled resources, exactly as the executables embed them.
#include <algorithm>
#include <set>

#include "support/trevask_test.h"

namespace trevask_test {
namespace {

constexpr uint32_t kScreenStyle = 0x80C008C0;  // WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT
constexpr uint32_t kDefaultButton = 0x50010001;
constexpr uint32_t kButton = 0x50010000;
constexpr uint32_t kMessageText = 0x50020001;
constexpr uint16_t kEnglishUs = 1033;

struct ControlSpec {
    uint32_t style;
    int id;
    const char* text;
    int16_t x, y, cx, cy;
};

struct TemplateSpec : Row {
    int id;
    const char* title;
    int16_t cx, cy;
    std::vector<ControlSpec> controls;
};


const TemplateSpec kTemplates[] = {
    {"AlreadyRunning", IDD_ALREADY_RUNNING, "Already Running!", 157, 88,
     {{kDefaultButton, IDOK, "Close", 53, 68, 50, 14}, {kMessageText, IDC_RUNNING_TEXT, "", 11, 6, 136, 52}}},
    {"Confirmation", IDD_CONFIRMATION, "Confirmation", 186, 108,
     {{kDefaultButton, IDOK, "Continue", 38, 84, 50, 14},
      {kButton, IDCANCEL, "Exit Now!", 98, 84, 50, 14},
      {kMessageText, IDC_CONFIRM_TEXT, "", 13, 8, 158, 66}}},
    {"NotNt", IDD_NOT_NT, "Not Using NT!", 134, 74,
     {{kDefaultButton, IDOK, "Close", 42, 54, 50, 14}, {kMessageText, IDC_NOT_NT_TEXT, "", 11, 6, 111, 38}}},
    {"ChangesComplete", IDD_CHANGES_COMPLETE, "Changes Complete!", 186, 92,
     {{kDefaultButton, IDOK, "Restart System", 19, 69, 70, 14},
      {kButton, IDCANCEL, "Exit to Windows NT", 97, 69, 70, 14},
      {kMessageText, IDC_RESTART_TEXT, "", 16, 8, 154, 55}}},
    {"RemoveFloppies", IDD_REMOVE_FLOPPIES, "Remove Floppies", 123, 65,
     {{kDefaultButton, IDOK, "OK", 38, 46, 47, 14}, {kMessageText, IDC_FLOPPY_TEXT, "", 14, 8, 95, 30}}},
    {"ChangeFailed", IDD_CHANGE_FAILED, "Changes Not Made!", 157, 88,
     {{kDefaultButton, IDOK, "Close", 53, 68, 50, 14}, {kMessageText, IDC_FAILED_TEXT, "", 11, 6, 136, 52}}},
    {"RestartFailed", IDD_RESTART_FAILED, "Restart Failed!", 157, 88,
     {{kDefaultButton, IDOK, "Close", 53, 68, 50, 14}, {kMessageText, IDC_RESTART_FAILED_TEXT, "", 11, 6, 136, 52}}},
};

const std::pair<int, const char*> kMessages[] = {
    {IDS_ALREADY_RUNNING,
     "You have already started this program.  Please close this box and switch to the TREVASK.EXE program that "
     "has already been started."},
    {IDS_ADD_PARAMETER,
     "This program is about to add the \"AdapterScansUp=1\" parameter to the ZRX-4410 PCI SCSI Controller "
     "driver.  This parameter will cause the driver to scan in an ascending order.  This is required only if you "
     "are experiencing a drive-letter swap problem after installing SKARVIO version 4.0e or higher."},
    {IDS_REMOVE_PARAMETER,
     "This program is about to remove the \"AdapterScansUp=1\" parameter from the ZRX-4410 PCI SCSI Controller "
     "driver.  This will cause the driver to scan in a descending order.  This is required only if you are "
     "experiencing a drive-letter swap problem after installing SKARVIO version 4.0e or higher."},
    {IDS_NOT_NT, "You must run this program using the Windows NT operating system version 3.51 or higher."},
    {IDS_RESTART_PROMPT,
     "Your system registry has been modified.  You must restart your system for the changes to take effect.  "
     "Would you like to restart your system now?"},
    {IDS_REMOVE_DISKETTES, "Please remove any diskettes from your floppy drives."},
    {IDS_CHANGE_FAILED,
     "Your system registry could not be modified.  You must be logged on as an administrator to make this "
     "change."},
    {IDS_RESTART_FAILED,
     "Your system could not be restarted.  Please restart your system yourself for the changes to take effect."},
};

uint32_t Dword(const std::vector<uint8_t>& data, size_t at)
{
    return data.at(at) | data.at(at + 1) << 8 | data.at(at + 2) << 16 | uint32_t(data.at(at + 3)) << 24;
}
uint16_t Word(const std::vector<uint8_t>& data, size_t at) { return uint16_t(data.at(at) | data.at(at + 1) << 8); }

class TemplateTest : public TrevaskTest, public testing::WithParamInterface<TemplateSpec> {};

TEST_P(TemplateTest, MatchesItsLayout)
{
    const TemplateSpec& spec = GetParam();
    std::optional<sim::DialogTemplate> dialog = sim::Resources().Dialog(spec.id);
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(dialog->extended);
    EXPECT_EQ(dialog->style, kScreenStyle);
    EXPECT_EQ(dialog->style & WS_SYSMENU, 0u) << "no WS_SYSMENU: no screen closes from its title bar";
    EXPECT_EQ(dialog->exStyle, 0u);
    EXPECT_EQ(dialog->x, 0);
    EXPECT_EQ(dialog->y, 0);
    EXPECT_EQ(dialog->cx, spec.cx);
    EXPECT_EQ(dialog->cy, spec.cy);
    EXPECT_EQ(dialog->menu, sim::NameOrId{});
    EXPECT_EQ(dialog->windowClass, sim::NameOrId{});
    EXPECT_EQ(dialog->title, spec.title);
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->font, "MS Sans Serif");
    EXPECT_EQ(dialog->DefaultButtonId(), IDOK);

    ASSERT_EQ(dialog->controls.size(), spec.controls.size());
    for (size_t i = 0; i < spec.controls.size(); i++) {
        const sim::DialogControl& control = dialog->controls[i];
        const ControlSpec& want = spec.controls[i];
        SCOPED_TRACE("control " + std::to_string(want.id));
        EXPECT_EQ(control.id, want.id);
        EXPECT_EQ(control.style, want.style);
        EXPECT_EQ(control.exStyle, 0u);
        EXPECT_EQ(control.text, want.text);
        EXPECT_EQ(std::vector<int>({control.x, control.y, control.cx, control.cy}),
                  std::vector<int>({want.x, want.y, want.cx, want.cy}));
        uint16_t kind = want.style == kMessageText ? sim::STATIC_CLASS : sim::BUTTON_CLASS;
        EXPECT_EQ(control.windowClass, (sim::NameOrId{true, kind, {}}));
        EXPECT_TRUE(control.creationData.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, TemplateTest, testing::ValuesIn(kTemplates), RowName());

TEST_F(TrevaskTest, MessagesReadExactly)
{
    for (const auto& [id, text] : kMessages)
        EXPECT_EQ(sim::Resources().String(id), std::string(text)) << "message " << id;
    EXPECT_EQ(Message(IDS_ADD_PARAMETER).size(), 298u);
    EXPECT_FALSE(sim::Resources().String(3)) << "there is no message 3";
}

TEST_F(TrevaskTest, LongestMessageFitsTheBufferWhole)
{
    char buffer[1024];
    for (const auto& [id, text] : kMessages)
        EXPECT_EQ(LoadStringA(sim::ModuleInstance(), UINT(id), buffer, sizeof buffer), int(std::string(text).size()));
}

TEST_F(TrevaskTest, ResourcesAreExactlyTheScreensMessagesIconAndManifestInUsEnglish)
{
    std::set<std::pair<int, int>> found;
    for (const sim::ResourceEntry& entry : sim::Resources().Entries()) {
        ASSERT_TRUE(entry.type.isId && entry.name.isId) << entry.type.Describe() << " " << entry.name.Describe();
        EXPECT_EQ(entry.language, kEnglishUs) << entry.type.Describe() << " " << entry.name.Describe();
        found.emplace(entry.type.id, entry.name.id);
    }
    std::set<std::pair<int, int>> expected = {{LOWORD(RT_STRING), 1}, {LOWORD(RT_ICON), 1},
                                              {LOWORD(RT_GROUP_ICON), IDI_APP}, {LOWORD(RT_MANIFEST), 1}};
    for (const TemplateSpec& spec : kTemplates)
        expected.emplace(LOWORD(RT_DIALOG), spec.id);
    EXPECT_EQ(found, expected);
}

TEST_F(TrevaskTest, IconIsOne32By32SixteenColourImageWithAnOpaqueMask)
{
    const sim::ResourceEntry* group = sim::Resources().Find(RT_GROUP_ICON, IDI_APP);
    ASSERT_TRUE(group);
    const std::vector<uint8_t>& dir = group->data;
    ASSERT_EQ(dir.size(), 6u + 14u);
    EXPECT_EQ(Word(dir, 2), 1) << "icon type";
    EXPECT_EQ(Word(dir, 4), 1) << "one image";
    EXPECT_EQ(dir[6], 32);
    EXPECT_EQ(dir[7], 32);
    EXPECT_EQ(dir[8], 16) << "colours";
    EXPECT_EQ(Word(dir, 10), 1) << "planes";
    EXPECT_EQ(Word(dir, 12), 4) << "bits per pixel";
    EXPECT_EQ(Word(dir, 18), 1) << "image number";

    const sim::ResourceEntry* image = sim::Resources().Find(RT_ICON, 1);
    ASSERT_TRUE(image);
    const std::vector<uint8_t>& bmp = image->data;
    ASSERT_EQ(bmp.size(), 40u + 16 * 4 + 32 * 32 / 2 + 32 * 32 / 8);
    EXPECT_EQ(Dword(dir, 14), bmp.size());
    EXPECT_EQ(Dword(bmp, 0), 40u);
    EXPECT_EQ(Dword(bmp, 4), 32u);
    EXPECT_EQ(Dword(bmp, 8), 64u) << "height counts the image and its mask";
    EXPECT_EQ(Word(bmp, 12), 1);
    EXPECT_EQ(Word(bmp, 14), 4);
    EXPECT_EQ(Dword(bmp, 16), 0u) << "uncompressed";
    const uint32_t standardPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                          0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                          0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(Dword(bmp, 40 + 4 * i), standardPalette[i]) << "colour " << i;  // stored blue, green, red
    std::set<int> colours;
    for (size_t i = 40 + 64; i < 40 + 64 + 512; i++) {
        colours.insert(bmp[i] >> 4);
        colours.insert(bmp[i] & 15);
    }
    for (int needed : {0x6, 0xE, 0xF, 0x8})  // teal and cyan cubes, white page, grey shading
        EXPECT_TRUE(colours.count(needed)) << "colour " << needed;
    EXPECT_TRUE(std::all_of(bmp.end() - 128, bmp.end(), [](uint8_t b) { return b == 0; })) << "opaque mask";
}

TEST_F(TrevaskTest, ManifestAsksForAdministratorRights)
{
    const sim::ResourceEntry* manifest = sim::Resources().Find(RT_MANIFEST, 1);
    ASSERT_TRUE(manifest);
    std::string text(manifest->data.begin(), manifest->data.end());
    EXPECT_NE(text.find("level=\"requireAdministrator\""), std::string::npos) << text;
}

}  // namespace
}  // namespace trevask_test
