// One program instance at a time; a stale lock file is taken over.
#include "common/SingleInstance.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kadex;

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstEnds)
{
    QTemporaryDir dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    {
        SingleInstanceLock first;
        ASSERT_TRUE(first.TryAcquire());
        EXPECT_TRUE(first.Path().startsWith(dir.path()));
        SingleInstanceLock second;
        EXPECT_FALSE(second.TryAcquire());
        EXPECT_FALSE(second.Held());
    }
    // A file left behind (as after a crash) does not block the next start.
    ASSERT_TRUE(QFile::exists(dir.filePath("Qdr_Running.lock")));
    SingleInstanceLock next;
    EXPECT_TRUE(next.TryAcquire());
    qunsetenv("XDG_RUNTIME_DIR");
}
