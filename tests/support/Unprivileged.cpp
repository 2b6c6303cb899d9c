// Running one test again under an unprivileged account. See Unprivileged.h.
#include "Unprivileged.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace miniskop {
namespace {

struct Account {
    uid_t uid = 65534;
    gid_t gid = 65534;
};

Account nobody() {
    Account account;
    if (const passwd* entry = ::getpwnam("nobody")) {
        account.uid = entry->pw_uid;
        account.gid = entry->pw_gid;
    }
    return account;
}

// The sanitizers' options name suppression files by path; the child may not
// be able to read the originals, so they are copied next to the program.
QString withReadableSuppressions(QString options, const QDir& folder) {
    static const QRegularExpression file(QStringLiteral("suppressions=([^:]+)"));
    const QRegularExpressionMatch match = file.match(options);
    if (!match.hasMatch()) return options;
    const QString copy = folder.filePath(QFileInfo(match.captured(1)).fileName());
    QFile::copy(match.captured(1), copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    return options.replace(match.capturedStart(1), match.capturedLength(1), copy);
}

}  // namespace

bool rerunAsUnprivilegedUser() {
    if (::geteuid() != 0) return false;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString name = QStringLiteral("%1.%2").arg(test->test_suite_name(), test->name());

    const Account account = nobody();
    QTemporaryDir work;
    EXPECT_TRUE(work.isValid());
    const QDir folder(work.path());
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    EXPECT_TRUE(QFile::setPermissions(work.path(), readable));
    const QString program = folder.filePath(QStringLiteral("test-program"));
    EXPECT_TRUE(
        QFile::copy(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(), program));
    EXPECT_TRUE(QFile::setPermissions(program, readable));
    const QString home = folder.filePath(QStringLiteral("home"));
    EXPECT_TRUE(QDir().mkpath(home));
    EXPECT_EQ(::chown(QFile::encodeName(home).constData(), account.uid, account.gid), 0);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    for (const QString& key : {QStringLiteral("ASAN_OPTIONS"), QStringLiteral("UBSAN_OPTIONS"),
                               QStringLiteral("TSAN_OPTIONS"), QStringLiteral("LSAN_OPTIONS")}) {
        if (env.contains(key)) env.insert(key, withReadableSuppressions(env.value(key), folder));
    }

    QProcess child;
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(home);
    child.setProcessChannelMode(QProcess::MergedChannels);
    // Between fork and exec only system calls: groups, group, user, in that
    // order (the user last, while there is still the right to change them).
    child.setChildProcessModifier([account] {
        if (::setgroups(0, nullptr) != 0 ||
            ::setresgid(account.gid, account.gid, account.gid) != 0 ||
            ::setresuid(account.uid, account.uid, account.uid) != 0)
            ::_exit(126);
    });
    child.start(program, {QStringLiteral("--gtest_filter=") + name});
    const bool finished = child.waitForFinished(-1);
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_TRUE(finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0)
        << name.toStdString() << " as user " << account.uid << ":\n"
        << output.toStdString();
    // The child must really have run the test, not skipped it.
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test.")) &&
                !output.contains(QStringLiteral("[  SKIPPED ]")))
        << output.toStdString();
    return true;
}

}  // namespace miniskop
