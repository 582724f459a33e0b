// The stored preferences as the window uses them: the adapters between Qt and the
// preference routines, and whole runs of the window against a settings file in a fresh
// $XDG_CONFIG_HOME, each run with its own service as a new process would have.
#include <QCheckBox>
#include <QScreen>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "fakes/recording_sink.h"
#include "filejobs/jobs.h"
#include "gui/window_fixture.h"
#include "settings/file_store.h"
#include "settings/general.h"
#include "settings/registry.h"
#include "ui/settings_adapter.h"
#include "ui/window_placement.h"

namespace kerfo::test {
namespace {

const std::string kPlain = "Dear diary,\r\ntoday nothing happened.\r\n";

TEST(WindowPositionTest, TwipsAreFifteenPerPixelOfTheFrameCorner) {
    QWidget window;
    ui::WindowPosition position(window);
    position.setLeft(3000);
    position.setTop(2250);
    EXPECT_EQ(window.pos(), QPoint(200, 150));
    EXPECT_EQ(position.left(), 3000);
    EXPECT_EQ(position.top(), 2250);
    // Setting one edge keeps the other.
    position.setTop(-1500);
    EXPECT_EQ(window.pos(), QPoint(200, -100));
    // Twips between pixels go to the nearest pixel.
    position.setLeft(22);
    EXPECT_EQ(window.pos().x(), 1);
    position.setLeft(-8);
    EXPECT_EQ(window.pos().x(), -1);
}

TEST(CheckBoxStateTest, ClearedTickedGreyedAndNothingElse) {
    QCheckBox box;
    ui::CheckBoxState state(box);
    EXPECT_TRUE(state.setValue(2));
    EXPECT_EQ(box.checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(state.value(), 2);
    EXPECT_TRUE(state.setValue(1));
    EXPECT_EQ(box.checkState(), Qt::Checked);
    EXPECT_EQ(state.value(), 1);
    for (const std::int16_t refused : {3, 7, -1, 255}) {
        EXPECT_FALSE(state.setValue(refused)) << refused;
        EXPECT_EQ(box.checkState(), Qt::Checked) << refused;
    }
    EXPECT_TRUE(state.setValue(0));
    EXPECT_EQ(box.checkState(), Qt::Unchecked);
    EXPECT_EQ(state.value(), 0);
}

class StoredSettingsTest : public WindowTest {
protected:
    StoredSettingsTest() : m_config(path("config")) { ::setenv("XDG_CONFIG_HOME", m_config.c_str(), 1); }
    ~StoredSettingsTest() override {
        // The window saves on its way out: it must go while its service is still there.
        window.reset();
        ::unsetenv("XDG_CONFIG_HOME");
    }

    // A new run: a new service over the user's store, and the window loaded on `userFile`.
    // Returns whether the gate let the window open; only then is it shown.
    bool run(const std::string& userFile) {
        window.reset();
        service = std::make_unique<window::StoredSettings>(boxes);
        window = std::make_unique<ui::FrmMain>(
            ui::Services{&messages, &clock, &links, &exit, service.get(), &gate, &jobs, &jobClock});
        if (!window->load(userFile)) {
            return false;
        }
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return true;
    }

    // Closes the window through its close box and lets it go: query-unload, then unload.
    void closeWindow() {
        window->close();
        window.reset();
    }

    // Stored values, read and written the way the program does, bypassing the window.
    std::optional<std::string> storedValue(const char* name) {
        settings::FileStore store(settings::FileStore::defaultDirectory());
        settings::Registry registry(store, boxes);
        try {
            return registry.GetKeyValue(std::string(settings::SettingsKey), name);
        } catch (const platform::RuntimeError&) {
            return "<trims to nothing>";
        }
    }
    void storeValue(const char* name, const std::string& value) {
        settings::FileStore store(settings::FileStore::defaultDirectory());
        settings::Registry registry(store, boxes);
        registry.CreateNewKey(std::string(settings::SettingsKey));
        registry.SetKeyValue(std::string(settings::SettingsKey), name, value);
    }
    std::filesystem::path settingsFile() const {
        return std::filesystem::path(m_config) / "kerfo" / settings::kStoreFileName;
    }

    std::string m_config;
    RecordingSink boxes;
    std::unique_ptr<window::StoredSettings> service;
};

TEST_F(StoredSettingsTest, FirstRunOpensAtTheCornerWithTheBoxCleared) {
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    EXPECT_EQ(check1()->checkState(), Qt::Unchecked);
    // Loading only reads: the store is made by the first save.
    EXPECT_FALSE(std::filesystem::exists(settingsFile()));
    closeWindow();
    EXPECT_EQ(storedValue("Left"), "0");
    EXPECT_EQ(storedValue("Top"), "0");
    EXPECT_EQ(storedValue("Autoquit"), "0");
    EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(StoredSettingsTest, NextRunOpensWhereTheLastOneClosed) {
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    window->move(200, 150);
    check1()->click();
    ASSERT_EQ(check1()->checkState(), Qt::Checked);
    closeWindow();
    EXPECT_EQ(storedValue("Left"), "3000");
    EXPECT_EQ(storedValue("Top"), "2250");
    EXPECT_EQ(storedValue("Autoquit"), "1");

    ASSERT_TRUE(run(path("notes.txt")));
    EXPECT_EQ(window->pos(), QPoint(200, 150));
    EXPECT_EQ(check1()->checkState(), Qt::Checked);
}

TEST_F(StoredSettingsTest, UnloadSavesWhereTheWindowIsAtTheEnd) {
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    window->move(40, 30);
    window->close();
    EXPECT_EQ(storedValue("Left"), "600");
    // Whatever changes between the query-unload and the unload is what stays.
    ui::moveFrameTo(*window, QPoint(50, 60));
    check1()->setCheckState(Qt::Checked);
    window.reset();
    EXPECT_EQ(storedValue("Left"), "750");
    EXPECT_EQ(storedValue("Top"), "900");
    EXPECT_EQ(storedValue("Autoquit"), "1");
}

TEST_F(StoredSettingsTest, MissingTopTakesTheLeftJustRead) {
    storeValue("Left", "4500");
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    EXPECT_EQ(window->pos(), QPoint(300, 300));
}

TEST_F(StoredSettingsTest, UnreadableLeftLeavesZeroAndTopStillApplies) {
    storeValue("Left", "left");
    storeValue("Top", "1500");
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    EXPECT_EQ(window->pos(), QPoint(0, 100));
}

TEST_F(StoredSettingsTest, OffScreenPositionOpensOnTheScreenAndStaysStored) {
    storeValue("Left", "-30000");
    storeValue("Top", "150000");
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(window->frameGeometry())) << window->pos().x() << "," << window->pos().y();
    EXPECT_EQ(window->pos().x(), screen.left());
    // Only the next save replaces the stored values.
    EXPECT_EQ(storedValue("Left"), "-30000");
    EXPECT_EQ(storedValue("Top"), "150000");
}

TEST_F(StoredSettingsTest, GreyedBoxShowsGreyedAndDoesNotQuit) {
    storeValue("Autoquit", "2");
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    EXPECT_EQ(check1()->checkState(), Qt::PartiallyChecked);
    jobs.result.status = filejobs::JobStatus::kDone;
    type("pw");
    press(Qt::Key_Tab);
    type("pw");
    press(Qt::Key_Return);
    ASSERT_EQ(jobs.passwords.size(), 1u);
    EXPECT_EQ(cmdCancel()->text(), "&Done");
    EXPECT_TRUE(exit.codes.empty());
    EXPECT_TRUE(window->isVisible());
    closeWindow();
    EXPECT_EQ(storedValue("Autoquit"), "2");
}

TEST_F(StoredSettingsTest, TickedBoxQuitsAfterASuccessfulJob) {
    storeValue("Autoquit", "1");
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    jobs.result.status = filejobs::JobStatus::kDone;
    type("pw");
    press(Qt::Key_Tab);
    type("pw");
    press(Qt::Key_Return);
    EXPECT_EQ(exit.codes, std::vector<int>{0});
    EXPECT_FALSE(window->isVisible());
}

TEST_F(StoredSettingsTest, AutoquitNoBoxStateKeepsTheDesignTimeTick) {
    storeValue("Autoquit", "7");
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    EXPECT_EQ(check1()->checkState(), Qt::Checked);
}

TEST_F(StoredSettingsTest, AutoquitNotANumberClearsTheBox) {
    storeValue("Autoquit", "yes");
    ASSERT_TRUE(run(write("notes.txt", kPlain)));
    EXPECT_EQ(check1()->checkState(), Qt::Unchecked);
}

TEST_F(StoredSettingsTest, RefusedStartSavesNothing) {
    // First run refused: no store appears at all.
    ASSERT_FALSE(run(path("missing.txt")));
    EXPECT_EQ(messages.messages.size(), 1u);
    window.reset();
    EXPECT_FALSE(std::filesystem::exists(settingsFile()));

    // Later runs: the stored values stay exactly as they were.
    storeValue("Left", "1500");
    storeValue("Top", "3000");
    storeValue("Autoquit", "1");
    const std::string before = readFile(settingsFile().string());
    ASSERT_FALSE(run(path("missing.txt")));
    window->move(10, 10);
    window.reset();
    EXPECT_EQ(readFile(settingsFile().string()), before);
}

}  // namespace
}  // namespace kerfo::test
