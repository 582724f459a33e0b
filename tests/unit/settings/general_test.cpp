#include "settings/general.h"

#include <string>

#include <gtest/gtest.h>

#include "fakes/memory_store.h"
#include "store_fixture.h"

namespace kerfo::settings {
namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Tarnwick\\Kerfo";

struct FakeWindow : PositionTarget {
    std::int32_t x = 4321;
    std::int32_t y = 8765;
    bool known() const override { return true; }
    std::int32_t left() const override { return x; }
    void setLeft(std::int32_t twips) override { x = twips; }
    std::int32_t top() const override { return y; }
    void setTop(std::int32_t twips) override { y = twips; }
};

// Ticked at design time, like the window's box.
struct FakeCheckBox : CheckTarget {
    std::int16_t state = 1;
    std::int16_t value() const override { return state; }
    bool setValue(std::int16_t s) override {
        if (s < 0 || s > 2) return false;
        state = s;
        return true;
    }
};

TEST(ConversionTest, ReadsNumbersAsTheClassicRuntimeDoes) {
    EXPECT_EQ(toLong(std::nullopt), 0);
    EXPECT_EQ(toLong(" 1200 "), 1200);
    EXPECT_EQ(toLong("\t-45"), -45);
    EXPECT_EQ(toLong("+7"), 7);
    EXPECT_EQ(toLong("1.5"), 2);
    EXPECT_EQ(toLong("2.5"), 2);
    EXPECT_EQ(toLong("-2.5"), -2);
    EXPECT_EQ(toLong("2.51"), 3);
    EXPECT_EQ(toLong(".5"), 0);
    EXPECT_EQ(toLong("7."), 7);
    EXPECT_EQ(toLong("1e3"), 1000);
    EXPECT_EQ(toLong("0001"), 1);
    EXPECT_EQ(toLong("2147483647"), 2147483647);
    EXPECT_EQ(toLong("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(toInteger("32767.4"), 32767);
    EXPECT_EQ(toInteger("-32768.5"), -32768);
}

TEST(ConversionTest, RefusesWhatIsNoNumberOrOutOfRange) {
    for (const std::string text :
         {"Error", "", "   ", "abc", "12a", "1 2", "1,000", "&H10", "inf", "nan", "0x10", "1e", "-", ".", "e5"}) {
        EXPECT_EQ(toLong(text), std::nullopt) << text;
    }
    EXPECT_EQ(toLong("2147483648"), std::nullopt);
    EXPECT_EQ(toLong("-2147483649"), std::nullopt);
    EXPECT_EQ(toLong("1e10"), std::nullopt);
    EXPECT_EQ(toInteger("32768"), std::nullopt);
    EXPECT_EQ(toInteger("32767.5"), std::nullopt);
    EXPECT_EQ(toInteger("-32769"), std::nullopt);
}

TEST(ConversionTest, TwipsAndPixels) {
    EXPECT_EQ(pixelsToTwips(80), 1200);
    EXPECT_EQ(pixelsToTwips(-3), -45);
    EXPECT_EQ(pixelsToTwips(std::int64_t{1} << 40), 2147483647);
    EXPECT_EQ(twipsToPixels(1200), 80);
    EXPECT_EQ(twipsToPixels(-45), -3);
    EXPECT_EQ(twipsToPixels(22), 1);
    EXPECT_EQ(twipsToPixels(23), 2);
    EXPECT_EQ(twipsToPixels(-23), -2);
}

class GeneralTest : public test::UserStoreTest {
protected:
    General general{*registry};
    FakeWindow window;
    FakeCheckBox box;

    void put(const char* name, const std::string& text) {
        registry->CreateNewKey(kKey);
        registry->SetKeyValue(kKey, name, text);
    }
};

TEST_F(GeneralTest, FirstRunOpensAtTopLeftWithTheBoxCleared) {
    general.LoadPosition(window);
    general.LoadCheck(box);
    EXPECT_EQ(window.x, 0);
    EXPECT_EQ(window.y, 0);
    EXPECT_EQ(box.state, 0);
    EXPECT_FALSE(storeExists());
}

TEST_F(GeneralTest, SavedStateComesBackInTheNextRun) {
    window.x = -1500;  // off the screen: kept as it is
    window.y = 2147483647;
    box.state = 1;
    for (int event = 0; event < 2; ++event) {  // query-unload, then unload
        general.SavePosition(window);
        general.SaveCheck(box);
    }
    EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "-1500");
    EXPECT_EQ(registry->GetKeyValue(kKey, "Top"), "2147483647");
    EXPECT_EQ(registry->GetKeyValue(kKey, "Autoquit"), "1");

    resetStore();
    General nextRun(*registry);
    FakeWindow nextWindow;
    FakeCheckBox nextBox;
    nextBox.state = 0;
    nextRun.LoadPosition(nextWindow);
    nextRun.LoadCheck(nextBox);
    EXPECT_EQ(nextWindow.x, -1500);
    EXPECT_EQ(nextWindow.y, 2147483647);
    EXPECT_EQ(nextBox.state, 1);
}

TEST_F(GeneralTest, MissingOrBadTopRepeatsTheLeftJustRead) {
    put("Left", "900");
    general.LoadPosition(window);
    EXPECT_EQ(window.x, 900);
    EXPECT_EQ(window.y, 900);
    put("Top", "twelve");
    window = FakeWindow{};
    general.LoadPosition(window);
    EXPECT_EQ(window.y, 900);
}

TEST_F(GeneralTest, MissingLeftGivesZeroThenTopFromTheStore) {
    put("Top", "  600.5 ");
    general.LoadPosition(window);
    EXPECT_EQ(window.x, 0);
    EXPECT_EQ(window.y, 600);
}

TEST_F(GeneralTest, PositionValueCarriesOverBetweenLoads) {
    put("Left", "300");
    put("Top", "450");
    general.LoadPosition(window);
    EXPECT_EQ(general.positionValue(), 450);
    put("Left", "Error");
    put("Top", "99999999999");
    general.LoadPosition(window);
    EXPECT_EQ(window.x, 450);
    EXPECT_EQ(window.y, 450);
}

TEST_F(GeneralTest, ReadThatRaisesIsSkipped) {
    put("Left", "120");
    // Stored as bytes that trim to nothing: the read raises, the load carries on.
    KeyHandle key = 0;
    ASSERT_EQ(store->openKey(kHkeyCurrentUser, "Software\\Tarnwick\\Kerfo", kKeyWrite, key), kOk);
    ASSERT_EQ(store->setValue(key, "Top", kRegBinary, "  ", 2), kOk);
    store->closeKey(key);
    general.LoadPosition(window);
    EXPECT_EQ(window.x, 120);
    EXPECT_EQ(window.y, 120);
}

TEST_F(GeneralTest, CheckStates) {
    put("Autoquit", "2");
    general.LoadCheck(box);
    EXPECT_EQ(box.state, 2);

    put("Autoquit", "7");  // no box state: refused, box unchanged
    box.state = 1;
    general.LoadCheck(box);
    EXPECT_EQ(box.state, 1);
    EXPECT_EQ(general.checkValue(), 7);

    put("Autoquit", "yes");  // unreadable: the last value read is applied
    general.LoadCheck(box);
    EXPECT_EQ(box.state, 1);

    General fresh(*registry);
    fresh.LoadCheck(box);  // a fresh process reads nothing usable: cleared
    EXPECT_EQ(box.state, 0);

    put("Autoquit", "-1");
    box.state = 2;
    General another(*registry);
    another.LoadCheck(box);
    EXPECT_EQ(box.state, 2);
}

TEST_F(GeneralTest, SaveCheckWritesTheGreyedState) {
    box.state = 2;
    general.SaveCheck(box);
    EXPECT_EQ(registry->GetKeyValue(kKey, "Autoquit"), "2");
}

TEST(GeneralCallsTest, SavesCreateTheKeyThenWriteEachValue) {
    test::MemoryStore store;
    test::RecordingSink sink;
    Registry registry(store, sink);
    General general(registry);
    FakeWindow window;
    FakeCheckBox box;
    general.SavePosition(window);
    general.SaveCheck(box);
    const std::vector<std::string> expected = {
        "create 2147483649 Software\\Tarnwick\\Kerfo", "close", "open 2147483649 Software\\Tarnwick\\Kerfo",
        "set Left", "close", "open 2147483649 Software\\Tarnwick\\Kerfo", "set Top", "close",
        "create 2147483649 Software\\Tarnwick\\Kerfo", "close", "open 2147483649 Software\\Tarnwick\\Kerfo",
        "set Autoquit", "close"};
    EXPECT_EQ(store.calls, expected);
    EXPECT_EQ(store.keys.begin()->second["left"].data, "4321");
    EXPECT_EQ(store.keys.begin()->second["top"].data, "8765");
}

}  // namespace
}  // namespace kerfo::settings
