// Start-up: the command-line tail, the single-instance lock and the real message boxes.
#include <QMessageBox>

#include <sys/wait.h>
#include <unistd.h>

#include "gui/window_fixture.h"
#include "support/modal_box.h"
#include "ui/start_up.h"

namespace kerfo::test {
namespace {

TEST(CommandTailTest, JoinsTheArgumentsUnchanged) {
    const char* none[] = {"kerfo"};
    EXPECT_EQ(ui::commandTail(1, none), "");
    const char* split[] = {"kerfo", "/home/ann/my", "notes.txt"};
    EXPECT_EQ(ui::commandTail(3, split), "/home/ann/my notes.txt");
    const char* quoted[] = {"kerfo", "\"/tmp/a  b.txt\"", "", "-style"};
    EXPECT_EQ(ui::commandTail(4, quoted), "\"/tmp/a  b.txt\"  -style");
}

class InstanceLockTest : public ::testing::Test {
protected:
    QString lockPath() const { return m_dir.path() + QStringLiteral("/kerfo.lock"); }
    QTemporaryDir m_dir;
};

TEST_F(InstanceLockTest, OnlyOneHolderAtATime) {
    auto first = std::make_unique<ui::InstanceLock>(lockPath());
    ASSERT_TRUE(first->acquire());
    ui::InstanceLock second(lockPath());
    EXPECT_FALSE(second.acquire());
    first.reset();
    EXPECT_TRUE(second.acquire());
}

TEST_F(InstanceLockTest, ADeadHolderDoesNotKeepTheLock) {
    // A child takes the lock and dies without releasing it, as a crashed Kerfo would.
    const QByteArray path = lockPath().toLocal8Bit();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ui::InstanceLock crashing(QString::fromLocal8Bit(path));
        _exit(crashing.acquire() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(QFile::exists(lockPath()));

    ui::InstanceLock next(lockPath());
    EXPECT_TRUE(next.acquire());
}

TEST_F(InstanceLockTest, AFolderWithoutRoomForALockDoesNotStopTheProgram) {
    ui::InstanceLock lock(m_dir.path() + QStringLiteral("/missing/folder/kerfo.lock"));
    EXPECT_TRUE(lock.acquire());
}

TEST(QtMessageSinkTest, ShowsTheIconTitleAndText) {
    struct Seen {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };
    std::vector<Seen> seen;
    auto inspectNextBox = [&] {
        whenModal([&](QWidget* shown) {
            auto* box = qobject_cast<QMessageBox*>(shown);
            ASSERT_NE(box, nullptr);
            seen.push_back({box->icon(), box->windowTitle(), box->text()});
            box->accept();
        });
    };
    ui::QtMessageSink sink;
    inspectNextBox();
    sink.show({"Kerfo is allready running...", texts::Icon::kInformation, "Info"});
    inspectNextBox();
    sink.show({"/tmp/x is empty:\r\nKerfo will NOT work with empty files.", texts::Icon::kWarning, {}});
    inspectNextBox();
    sink.show({"An error # 61 was generated:", texts::Icon::kError, "Error :-("});
    inspectNextBox();
    sink.show({"plain", texts::Icon::kNone, {}});

    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(seen[0].title, "Info");
    EXPECT_EQ(seen[1].icon, QMessageBox::Warning);
    EXPECT_EQ(seen[1].title, "Kerfo");
    EXPECT_EQ(seen[1].text, "/tmp/x is empty:\nKerfo will NOT work with empty files.");
    EXPECT_EQ(seen[2].icon, QMessageBox::Critical);
    EXPECT_EQ(seen[2].title, "Error :-(");
    EXPECT_EQ(seen[3].icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen[3].title, "Kerfo");
}

}  // namespace
}  // namespace kerfo::test
