// The confirmation screen: what it announces, and what "Continue" does.
#include <algorithm>

#include "support/trevask_test.h"

namespace trevask_test {
namespace {

using sim::Enter;
using sim::Escape;
using sim::Press;

struct ConfirmCase : Row {
    std::optional<sim::RegistryValue> before;
    bool administrator;
    std::vector<sim::Action> script;
    int shownMessage;
    INT_PTR endCode;
    std::optional<sim::RegistryValue> after;
    int nextScreen;  // 0 when the program ends there
};


const sim::RegistryValue kCleared = sim::StringValue("");
const sim::RegistryValue kOther = sim::StringValue("Sync=0");

class ConfirmationTest : public TrevaskTest, public testing::WithParamInterface<ConfirmCase> {};

TEST_P(ConfirmationTest, AnnouncesTheChangeAndMakesExactlyThat)
{
    const ConfirmCase& row = GetParam();
    if (row.before)
        SetDriverParameter(*row.before);
    sim::SetAdministrator(row.administrator);
    sim::Script(row.script);

    EXPECT_EQ(RunTrevask(), 0);

    ASSERT_GE(sim::Screens().size(), 1u);
    const sim::ScreenRecord& confirmation = sim::Screens()[0];
    EXPECT_EQ(confirmation.templateId, IDD_CONFIRMATION);
    EXPECT_EQ(confirmation.Text(IDC_CONFIRM_TEXT), Message(row.shownMessage));
    EXPECT_EQ(confirmation.endCode, row.endCode);
    EXPECT_EQ(DriverParameter(), row.after);
    std::vector<int> expected = {IDD_CONFIRMATION};
    if (row.nextScreen)
        expected.push_back(row.nextScreen);
    EXPECT_EQ(sim::ScreenIds(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, ConfirmationTest,
    testing::Values(
        ConfirmCase{"AbsentContinueAdds", std::nullopt, true, {Press(IDD_CONFIRMATION, IDOK), Escape(IDD_CHANGES_COMPLETE)},
                    IDS_ADD_PARAMETER, 1, kSet, IDD_CHANGES_COMPLETE},
        ConfirmCase{"OtherParametersContinueReplaces", kOther, true, {Enter(IDD_CONFIRMATION), Escape(IDD_CHANGES_COMPLETE)},
                    IDS_ADD_PARAMETER, 1, kSet, IDD_CHANGES_COMPLETE},
        ConfirmCase{"PresentContinueRemoves", kSet, true, {Enter(IDD_CONFIRMATION), Escape(IDD_CHANGES_COMPLETE)},
                    IDS_REMOVE_PARAMETER, 1, kCleared, IDD_CHANGES_COMPLETE},
        ConfirmCase{"PresentExitNowKeeps", kSet, true, {Press(IDD_CONFIRMATION, IDCANCEL)},
                    IDS_REMOVE_PARAMETER, 0, kSet, 0},
        ConfirmCase{"AbsentEscapeKeeps", std::nullopt, true, {Escape(IDD_CONFIRMATION)},
                    IDS_ADD_PARAMETER, 0, std::nullopt, 0},
        ConfirmCase{"NotificationCodeIgnored", kSet, true, {Press(IDD_CONFIRMATION, IDOK, 0x1234), Escape(IDD_CHANGES_COMPLETE)},
                    IDS_REMOVE_PARAMETER, 1, kCleared, IDD_CHANGES_COMPLETE},
        ConfirmCase{"NoRightsAbsentFails", std::nullopt, false, {Enter(IDD_CONFIRMATION), Enter(IDD_CHANGE_FAILED)},
                    IDS_ADD_PARAMETER, 2, std::nullopt, IDD_CHANGE_FAILED},
        ConfirmCase{"NoRightsPresentLooksAbsentAndFails", kSet, false, {Enter(IDD_CONFIRMATION), Enter(IDD_CHANGE_FAILED)},
                    IDS_ADD_PARAMETER, 2, kSet, IDD_CHANGE_FAILED}),
    RowName());

TEST_F(TrevaskTest, ChangeFailedNoticeTellsWhyAndNothingClaimsSuccess)
{
    sim::SetAdministrator(false);
    sim::Script({Enter(IDD_CONFIRMATION), Enter(IDD_CHANGE_FAILED)});
    RunTrevask();
    ASSERT_EQ(sim::Screens().size(), 2u);
    EXPECT_EQ(sim::Screens()[1].Text(IDC_FAILED_TEXT), Message(IDS_CHANGE_FAILED));
    EXPECT_TRUE(sim::CallsTo("InitiateSystemShutdownA").empty());
    for (const sim::Call& call : sim::CallsTo("LoadStringA"))
        EXPECT_NE(call.args.at(1), std::to_string(IDS_RESTART_PROMPT)) << "the success message was loaded: " << call;
}

// Another program changes the value while the confirmation is open.
struct RaceCase : Row {
    std::optional<sim::RegistryValue> before;
    sim::RegistryValue meanwhile;
    sim::RegistryValue after;
};


class RaceTest : public TrevaskTest, public testing::WithParamInterface<RaceCase> {};

TEST_P(RaceTest, ContinueCarriesOutTheAnnouncedChangeWithoutReadingAgain)
{
    const RaceCase& race = GetParam();
    if (race.before)
        SetDriverParameter(*race.before);
    size_t readsBeforeContinue = 0;
    sim::Script({sim::Meanwhile(IDD_CONFIRMATION,
                                [&] {
                                    SetDriverParameter(race.meanwhile);
                                    readsBeforeContinue = sim::CallsTo("RegQueryValueExA").size();
                                }),
                 Enter(IDD_CONFIRMATION), Escape(IDD_CHANGES_COMPLETE)});
    RunTrevask();
    EXPECT_EQ(DriverParameter(), race.after);
    EXPECT_EQ(sim::CallsTo("RegQueryValueExA").size(), readsBeforeContinue) << "the value must not be read again";
}

INSTANTIATE_TEST_SUITE_P(ValueChanged, RaceTest,
                         testing::Values(RaceCase{"AddedMeanwhileStillAdds", std::nullopt, kSet, kSet},
                                         RaceCase{"RemovedMeanwhileStillRemoves", kSet, kOther, kCleared},
                                         RaceCase{"ClearedMeanwhileStillAdds", kOther, kCleared, kSet}),
                         RowName());

TEST_F(TrevaskTest, ConfirmationReadsTheValueBeforeItLoadsItsMessage)
{
    SetDriverParameter(kSet);
    sim::Script({Escape(IDD_CONFIRMATION)});
    RunTrevask();
    const auto& calls = sim::Calls();
    auto query = std::find_if(calls.begin(), calls.end(),
                              [](const sim::Call& call) { return call.function == "RegQueryValueExA"; });
    auto load = std::find_if(calls.begin(), calls.end(), [](const sim::Call& call) {
        return call.Text() == LoadsMessage(IDS_REMOVE_PARAMETER);
    });
    ASSERT_NE(query, calls.end());
    ASSERT_NE(load, calls.end());
    EXPECT_LT(query, load);
}

}  // namespace
}  // namespace trevask_test
