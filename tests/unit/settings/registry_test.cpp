#include "settings/registry.h"

#include <string>

#include <gtest/gtest.h>

#include "fakes/memory_store.h"
#include "fakes/recording_sink.h"
#include "platform/error.h"
#include "store_fixture.h"

namespace kerfo::settings {
namespace {

using test::MemoryStore;
using test::RecordingSink;

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Tarnwick\\Kerfo";

// --- Splitting and the format message, against a store that logs every call ---

class SplitTest : public ::testing::Test {
protected:
    MemoryStore store;
    RecordingSink sink;
    Registry registry{store, sink};

    std::pair<KeyHandle, std::string> split(std::string path) {
        KeyHandle root = 12345;
        registry.SplitKeyPath(path, root);
        return {root, path};
    }
};

TEST_F(SplitTest, SplitsAtTheFirstBackslashOnly) {
    EXPECT_EQ(split(kKey), std::make_pair(kHkeyCurrentUser, std::string("Software\\Tarnwick\\Kerfo")));
    EXPECT_EQ(split("HKEY_USERS\\a\\b"), std::make_pair(kHkeyUsers, std::string("a\\b")));
    EXPECT_EQ(split("HKEY_LOCAL_MACHINE"), std::make_pair(kHkeyLocalMachine, std::string()));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(SplitTest, RootTableIsExactAndCaseSensitive) {
    EXPECT_EQ(Registry::GetRootKey("HKEY_CLASSES_ROOT"), 0x80000000u);
    EXPECT_EQ(Registry::GetRootKey("HKEY_DYN_DATA"), 0x80000006u);
    EXPECT_EQ(Registry::GetRootKey("HKEY_CURRENT_CONFIG"), 0x80000005u);
    EXPECT_EQ(Registry::GetRootKey("HKEY_PERFORMANCE_DATA"), 0x80000004u);
    EXPECT_EQ(Registry::GetRootKey("HKEY_Current_User"), 0u);
    EXPECT_EQ(Registry::GetRootKey("HKEY_CURRENT_USER "), 0u);
    EXPECT_EQ(Registry::GetRootKey(""), 0u);
}

TEST_F(SplitTest, MalformedPathsShowTheFormatBoxAndKeepThePath) {
    const std::string paths[] = {"hkey_current_user\\Software", "", "HKEY_CURRENT_USER\\Software\\", "HKEY",
                                 "HKEY_CURRENT_USER\\"};
    for (const auto& path : paths) {
        sink.messages.clear();
        EXPECT_EQ(split(path), std::make_pair(KeyHandle{0}, path)) << path;
        ASSERT_EQ(sink.messages.size(), 1u) << path;
        EXPECT_EQ(sink.messages[0].text, "Incorrect Format:\n\n" + path);
        EXPECT_EQ(sink.messages[0].icon, texts::Icon::kNone);
        EXPECT_FALSE(sink.messages[0].title.has_value());
    }
}

TEST_F(SplitTest, UnknownRootsAreSilentAndTouchNothing) {
    for (const std::string path : {"HKEY_", "HKEY_FOO\\Software", "HKEY_current_user\\Software", "HKEY_USERSX"}) {
        EXPECT_EQ(registry.GetKeyValue(path, "Left"), std::nullopt) << path;
        registry.CreateNewKey(path);
        registry.SetKeyValue(path, "Left", "1");
    }
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(store.calls.empty());
}

TEST_F(SplitTest, MalformedPathGivesTheEmptyResultAndNoStoreAccess) {
    EXPECT_EQ(registry.GetKeyValue("HKEY_CURRENT_USER\\", "Left"), std::nullopt);
    registry.CreateNewKey("");
    registry.SetKeyValue("hkey_current_user\\x", "Left", "1");
    EXPECT_EQ(sink.messages.size(), 3u);
    EXPECT_TRUE(store.calls.empty());
}

// --- Reads and writes against the logging store ---

class RegistryCallsTest : public SplitTest {};

TEST_F(RegistryCallsTest, FailedReadsGiveErrorAndLeaveNoKeyOpen) {
    EXPECT_EQ(registry.GetKeyValue(kKey, "Left"), "Error");  // no key
    EXPECT_NE(registry.lastResult(), 0);
    registry.CreateNewKey(kKey);
    EXPECT_EQ(registry.GetKeyValue(kKey, "Left"), "Error");  // no value
    store.put(kHkeyCurrentUser, "Software\\Tarnwick\\Kerfo", "Long", {kRegSz, std::string(255, 'x')});
    EXPECT_EQ(registry.GetKeyValue(kKey, "Long"), "Error");  // 256 bytes with the terminator
    EXPECT_EQ(store.openCount(), 0u);
}

TEST_F(RegistryCallsTest, ValueOfAnotherTypeLosesItsLastByte) {
    store.put(kHkeyCurrentUser, "Software\\Tarnwick\\Kerfo", "Raw", {kRegBinary, "  abc  "});
    EXPECT_EQ(registry.GetKeyValue(kKey, "Raw"), "ab");
}

TEST_F(RegistryCallsTest, ValueThatTrimsToNothingRaisesInvalidCallAfterClosing) {
    store.put(kHkeyCurrentUser, "Software\\Tarnwick\\Kerfo", "Blank", {kRegBinary, "   "});
    store.put(kHkeyCurrentUser, "Software\\Tarnwick\\Kerfo", "Empty", {kRegBinary, ""});
    for (const char* name : {"Blank", "Empty"}) {
        try {
            registry.GetKeyValue(kKey, name);
            FAIL() << name << " did not raise";
        } catch (const platform::RuntimeError& error) {
            EXPECT_EQ(error.code(), 5);
        }
        EXPECT_EQ(store.openCount(), 0u);
    }
}

TEST_F(RegistryCallsTest, SetOnMissingKeyOpensButNeverCreatesOrWrites) {
    registry.SetKeyValue(kKey, "Left", "15");
    EXPECT_EQ(store.calls, std::vector<std::string>{"open 2147483649 Software\\Tarnwick\\Kerfo"});
    EXPECT_EQ(registry.lastResult(), kNotFound);
    EXPECT_TRUE(store.keys.empty());
}

TEST_F(RegistryCallsTest, CloseResultReplacesTheWriteResult) {
    registry.CreateNewKey(kKey);
    store.failures["set"] = kAccessDenied;
    registry.SetKeyValue(kKey, "Left", "15");
    EXPECT_EQ(registry.lastResult(), kOk);
    EXPECT_EQ(store.openCount(), 0u);
    store.failures = {{"close", kInvalidHandle}};
    registry.SetKeyValue(kKey, "Left", "15");
    EXPECT_EQ(registry.lastResult(), kInvalidHandle);
}

TEST_F(RegistryCallsTest, FailedCreateIsNotClosed) {
    store.failures["create"] = kAccessDenied;
    registry.CreateNewKey(kKey);
    EXPECT_EQ(registry.lastResult(), kAccessDenied);
    EXPECT_EQ(store.calls.back(), "create 2147483649 Software\\Tarnwick\\Kerfo");
}

// --- Round trips through the settings file ---

class RegistryFileTest : public test::UserStoreTest {};

TEST_F(RegistryFileTest, TextsReadBackAsWritten) {
    registry->CreateNewKey(kKey);
    const std::vector<std::string> texts = {"1200",     "-300", "",    "a b",           "trailing  ",
                                            std::string(254, 'w'), "tab\there", "line\r\nbreak", "=x=", "%41",
                                            "\xE9t\xE9"};
    for (const auto& text : texts) {
        registry->SetKeyValue(kKey, "Value", text);
        EXPECT_EQ(registry->GetKeyValue(kKey, "Value"), text) << text;
    }
    resetStore();
    EXPECT_EQ(registry->GetKeyValue(kKey, "Value"), "\xE9t\xE9");
    EXPECT_EQ(store->openKeyCount(), 0u);
}

TEST_F(RegistryFileTest, LeadingSpacesAreLostAndLongValuesReadAsError) {
    registry->CreateNewKey(kKey);
    registry->SetKeyValue(kKey, "Value", "  lead");
    EXPECT_EQ(registry->GetKeyValue(kKey, "Value"), "lead");
    registry->SetKeyValue(kKey, "Value", "   ");
    EXPECT_EQ(registry->GetKeyValue(kKey, "Value"), "");
    registry->SetKeyValue(kKey, "Value", std::string(255, 'w'));
    EXPECT_EQ(registry->GetKeyValue(kKey, "Value"), "Error");
    EXPECT_EQ(store->openKeyCount(), 0u);
}

TEST_F(RegistryFileTest, MissingKeyOrValueReadsAsError) {
    EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "Error");
    registry->CreateNewKey(kKey);
    EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "Error");
    EXPECT_EQ(registry->GetKeyValue("HKEY_LOCAL_MACHINE\\Nothing", "Left"), "Error");
}

TEST_F(RegistryFileTest, SetOnMissingKeyWritesNothing) {
    registry->SetKeyValue(kKey, "Left", "15");
    EXPECT_FALSE(storeExists());
    registry->CreateNewKey("HKEY_CURRENT_USER\\Software");
    const auto before = fileText();
    registry->SetKeyValue(kKey, "Left", "15");
    EXPECT_EQ(fileText(), before);
    EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "Error");
}

TEST_F(RegistryFileTest, CreateMakesParentsAndKeepsExistingValues) {
    registry->CreateNewKey(kKey);
    registry->SetKeyValue(kKey, "Left", "15");
    registry->CreateNewKey(kKey);
    registry->CreateNewKey("HKEY_CURRENT_USER\\SOFTWARE\\tarnwick\\KERFO");
    EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "15");
    registry->SetKeyValue("HKEY_CURRENT_USER\\Software\\Tarnwick", "Parent", "yes");
    EXPECT_EQ(registry->GetKeyValue("HKEY_CURRENT_USER\\Software\\Tarnwick", "Parent"), "yes");
    EXPECT_EQ(registry->lastResult(), kOk);
}

TEST_F(RegistryFileTest, NamesMatchWithoutRegardToCase) {
    registry->CreateNewKey(kKey);
    registry->SetKeyValue(kKey, "AutoQuit", "1");
    EXPECT_EQ(registry->GetKeyValue("HKEY_CURRENT_USER\\software\\TARNWICK\\kerfo", "autoquit"), "1");
    registry->SetKeyValue(kKey, "AUTOQUIT", "0");
    EXPECT_EQ(registry->GetKeyValue(kKey, "Autoquit"), "0");
    // One value, keeping the spelling it was made with.
    EXPECT_NE(fileText().find("AutoQuit=0\n"), std::string::npos);
    EXPECT_EQ(fileText().find("AUTOQUIT"), std::string::npos);
}

TEST_F(RegistryFileTest, RootPathActsOnTheRootKey) {
    registry->SetKeyValue("HKEY_CURRENT_USER", "AtRoot", "r");
    EXPECT_EQ(registry->GetKeyValue("HKEY_CURRENT_USER", "AtRoot"), "r");
    EXPECT_EQ(registry->GetKeyValue("HKEY_USERS", "AtRoot"), "Error");
    EXPECT_TRUE(sink.messages.empty());
}

}  // namespace
}  // namespace kerfo::settings
