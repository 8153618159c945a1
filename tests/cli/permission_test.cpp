// A serial device the user may not open, on a real device node: a terminal
// of this test handed to the serial ports' group, opened by vormex-cli
// running as a user outside that group.
#include <QProcess>
#include <QStandardPaths>
#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "clirun.h"

namespace vx::clitest {
namespace {

TEST(Permission, DeviceOfAnotherGroupNamesTheGroupAndTheCommand) {
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (geteuid() != 0 || setpriv.isEmpty())
        GTEST_SKIP() << "needs root and setpriv to open a device as another user";
    const QStringList asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups", VORMEX_CLI};
    if (QProcess::execute(setpriv, asNobody + QStringList{"--version"}) != 0)
        GTEST_SKIP() << "the build folder cannot be reached by user nobody";
    const group* dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string node = ptsname(master);
    ASSERT_EQ(chown(node.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(node.c_str(), 0660), 0);

    QProcess cli;
    cli.setWorkingDirectory("/");
    cli.setProcessEnvironment(QProcessEnvironment());  // no settings, no home
    cli.start(setpriv, asNobody + QStringList{"--port", QString::fromStdString(node), "detect"});
    ASSERT_TRUE(cli.waitForFinished(30000));
    const std::string out = cli.readAllStandardOutput().toStdString();
    close(master);
    EXPECT_EQ(cli.exitCode(), 3) << out << cli.readAllStandardError().toStdString();
    EXPECT_TRUE(Contains(out, node + " を開く権限がありません。")) << out;
    EXPECT_TRUE(Contains(out, "グループ「dialout」")) << out;
    EXPECT_TRUE(Contains(out, "sudo usermod -aG dialout $USER")) << out;
    EXPECT_TRUE(Contains(out, "新しいログイン")) << out;
}

}  // namespace
}  // namespace vx::clitest
