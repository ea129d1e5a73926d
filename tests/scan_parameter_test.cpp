// The parameter store over the registry contents it may meet.
#include <cstring>

#include "app/app.h"
#include "scanparam/scan_parameter.h"
#include "support/trevask_test.h"

namespace trevask_test {
namespace {

enum class Start { NoKey, KeyWithoutValue, Value };

struct StoreCase : Row {
    Start start;
    sim::RegistryValue value;  // with Start::Value
    int present;
};


sim::RegistryValue Bytes(DWORD type, const std::string& bytes)
{
    return sim::RegistryValue{type, std::vector<uint8_t>(bytes.begin(), bytes.end())};
}

// A REG_SZ of exactly `size` bytes, NUL included, that ends with `tail`.
sim::RegistryValue PaddedString(size_t size, const std::string& tail)
{
    std::string text(size - 1 - tail.size(), 'x');
    return sim::StringValue(text + tail);
}

class ScanParameterStoreTest : public TrevaskTest, public testing::WithParamInterface<StoreCase> {
protected:
    void SetUp() override
    {
        TrevaskTest::SetUp();
        const StoreCase& row = GetParam();
        if (row.start == Start::KeyWithoutValue)
            sim::SetRegistryValue(kDriverKey, "SomethingElse", sim::StringValue("1"));
        if (row.start == Start::Value)
            SetDriverParameter(row.value);
        // Stale text that spells the keyword everywhere in the buffer: a search
        // that strays past the bytes the query returned finds it.
        for (size_t i = 0; i < sizeof messageBuffer; i++)
            messageBuffer[i] = kKeyword[i % (sizeof kKeyword - 1)];
    }
};

TEST_P(ScanParameterStoreTest, FindsTheKeywordOnlyInTheReturnedText)
{
    EXPECT_EQ(ScanParameterPresent(), GetParam().present);
}

TEST_P(ScanParameterStoreTest, AddReplacesTheWholeValue)
{
    EXPECT_TRUE(AddScanParameter());
    EXPECT_EQ(DriverParameter(), kSet);
    EXPECT_EQ(DriverParameter()->data.size(), 17u);
}

TEST_P(ScanParameterStoreTest, RemoveLeavesAnEmptyStringOrNothing)
{
    bool keyExisted = GetParam().start != Start::NoKey;
    EXPECT_EQ(RemoveScanParameter(), keyExisted);
    if (keyExisted)
        EXPECT_EQ(DriverParameter(), sim::StringValue(""));
    else
        EXPECT_FALSE(sim::KeyExists(kDriverKey)) << "removing must not create the key";
}

INSTANTIATE_TEST_SUITE_P(
    RegistryContents, ScanParameterStoreTest,
    testing::Values(
        StoreCase{"KeyAbsent", Start::NoKey, {}, 0},
        StoreCase{"ValueAbsent", Start::KeyWithoutValue, {}, 0},
        StoreCase{"EmptyString", Start::Value, sim::StringValue(""), 0},
        StoreCase{"Set", Start::Value, kSet, 1},
        StoreCase{"KeywordWithZero", Start::Value, sim::StringValue("AdapterScansUp=0"), 1},
        StoreCase{"LowerCaseOnly", Start::Value, sim::StringValue("adapterscansup=1"), 0},
        StoreCase{"AmongOtherParameters", Start::Value, sim::StringValue("MaxTags=32;AdapterScansUp=1;Sync=0"), 1},
        StoreCase{"OtherParametersOnly", Start::Value, sim::StringValue("MaxTags=32;Sync=0"), 0},
        StoreCase{"KeywordCutShort", Start::Value, sim::StringValue("AdapterScansU"), 0},
        StoreCase{"Exactly256Bytes", Start::Value, PaddedString(256, "AdapterScansUp"), 1},
        StoreCase{"Over256Bytes", Start::Value, PaddedString(257, "AdapterScansUp"), 0},
        StoreCase{"Over256BytesKeywordFirst", Start::Value,
                  sim::StringValue("AdapterScansUp=1" + std::string(300, ' ')), 0},
        StoreCase{"MultiStringSecond", Start::Value, Bytes(REG_MULTI_SZ, std::string("Sync=0\0AdapterScansUp=1\0\0", 26)),
                  0},
        StoreCase{"MultiStringFirst", Start::Value, Bytes(REG_MULTI_SZ, std::string("AdapterScansUp=1\0Sync=0\0\0", 26)),
                  1},
        StoreCase{"BinarySpellingIt", Start::Value, Bytes(REG_BINARY, "AdapterScansUp"), 1},
        StoreCase{"BinaryNulBeforeIt", Start::Value, Bytes(REG_BINARY, std::string("\0AdapterScansUp", 15)), 0},
        StoreCase{"DwordValue", Start::Value, Bytes(REG_DWORD, std::string("\1\0\0\0", 4)), 0},
        StoreCase{"NoNulKeywordPartlyReturned", Start::Value, Bytes(REG_BINARY, "AdapterScans"), 0},
        StoreCase{"NoNul256BytesKeywordAtEnd", Start::Value,
                  Bytes(REG_BINARY, std::string(242, 'x') + "AdapterScansUp"), 1},
        StoreCase{"NoNul256BytesWithoutKeyword", Start::Value, Bytes(REG_BINARY, std::string(256, 'x')), 0},
        StoreCase{"ZeroBytes", Start::Value, Bytes(REG_BINARY, ""), 0}),
    RowName());

TEST_F(TrevaskTest, StoreAsksForFullAccessAndClosesWhatItOpens)
{
    SetDriverParameter(kSet);
    ScanParameterPresent();
    AddScanParameter();
    RemoveScanParameter();
    EXPECT_TRUE(CallsAre(sim::Calls(), Then({{OpensDriverKey()}, ReadsValue(1),
                                             {CreatesDriverKey(), WritesValue(2, kParameter), ClosesKey(2)},
                                             {OpensDriverKey(), WritesValue(3, ""), ClosesKey(3)}})));
}

TEST_F(TrevaskTest, AddCreatesTheWholeKeyPath)
{
    EXPECT_FALSE(sim::KeyExists("System"));
    EXPECT_TRUE(AddScanParameter());
    EXPECT_EQ(DriverParameter(), kSet);
}

TEST_F(TrevaskTest, StoreWithoutAdministratorRightsReportsNothingWritten)
{
    SetDriverParameter(kSet);
    sim::SetAdministrator(false);
    EXPECT_EQ(ScanParameterPresent(), 0) << "a key that cannot be opened with full access counts as absent";
    EXPECT_FALSE(AddScanParameter());
    EXPECT_FALSE(RemoveScanParameter());
    EXPECT_EQ(DriverParameter(), kSet);
}

TEST_F(TrevaskTest, RefusedWriteIsReportedAndTheKeyStillClosed)
{
    SetDriverParameter(sim::StringValue("Sync=0"));
    sim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(AddScanParameter());
    EXPECT_FALSE(RemoveScanParameter());
    EXPECT_EQ(DriverParameter(), sim::StringValue("Sync=0"));
    EXPECT_EQ(sim::CallsTo("RegCloseKey").size(), 2u);
}

}  // namespace
}  // namespace trevask_test
