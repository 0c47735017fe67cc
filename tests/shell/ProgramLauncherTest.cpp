#include "shell/ProgramLauncher.h"
#include "support/TempFolder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vk {
namespace {

// The updater gets the download's path between apostrophes as one parameter string. Started
// through the real launcher, a small recording program (a shell script that writes each argument
// it got, NUL after each) must see exactly one argument, with the blank and the apostrophes of a
// program folder's path kept.
TEST(ProgramLauncher, TheUpdaterGetsItsParameterStringAsOneArgument) {
    test::TempFolder root;
    const QString folder = root.mkdir(QStringLiteral("prog met spatie's en é"));
    const QString record = root.file(QStringLiteral("argumenten"));
    const QString recorder = root.write(QStringLiteral("prog met spatie's en é/VeloraUpdater"),
                                        "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" '" +
                                            QFile::encodeName(record) + "'\n");
    ASSERT_EQ(::chmod(QFile::encodeName(recorder).constData(), 0755), 0);
    const QString parameters = u'\'' + folder + QStringLiteral("/TempDownloads/VeloraKarvexClient") + u'\'';

    ASSERT_TRUE(startWithParameterString(recorder, parameters));
    const QDeadlineTimer deadline(20000);
    while (!QFile::exists(record) && !deadline.hasExpired()) {
        QThread::msleep(5);
    }
    QFile got(record);
    ASSERT_TRUE(got.open(QIODevice::ReadOnly)) << "the program did not run";
    EXPECT_EQ(got.readAll(), parameters.toUtf8() + '\0');
}

TEST(ProgramLauncher, AProgramThatIsNotThereIsReported) {
    test::TempFolder root;
    EXPECT_FALSE(startWithParameterString(root.file(QStringLiteral("VeloraUpdater")), QStringLiteral("'x'")));
}

}  // namespace
}  // namespace vk
