#include "sweep/follow.h"

#include <gtest/gtest.h>

#include "sweep_fixture.h"

namespace {

// At local midnight the next day's report begins as a run on the new day would write it, and the
// day before's stays as it was.
TEST(Follower, BeginsTheNewDaysReportAtMidnight) {
    SweepFolders folders;
    folders.logs.write("a.log", M + "\r\nfound\r\n");
    vesk::FollowEvents events;
    vesk::Follower follower(folders.fileSystem, folders.clock, folders.reports.path(),
                            {folders.logs.path()}, events);
    follower.start();
    const auto firstDay = folders.reportPath();
    EXPECT_EQ(readBytes(firstDay), "found\r\n");

    folders.clock.date = {2001, 7, 11};
    EXPECT_EQ(follower.nextDue(), std::chrono::hours(1)) << "when the clock says midnight is";
    follower.publishWhenDue();
    EXPECT_EQ(folders.report(), "found\r\n") << "the new day's report, whole";
    folders.logs.write("b.log", M + "\r\nthe next day\r\n");
    follower.refresh();
    follower.publishNow();
    const std::string published = folders.report();
    const TempFolder other;
    const vesk::ListedFolder listed(folders.fileSystem, folders.logs.path(), false);
    vesk::SweepEvents quiet;
    vesk::Sweep(folders.fileSystem, folders.clock, other.path()).run({&listed}, quiet);
    EXPECT_EQ(published, readBytes(other / folders.reportPath().filename()))
        << "as a run writes it";
    EXPECT_EQ(published.size(), std::string("found\r\nthe next day\r\n").size());
    EXPECT_EQ(readBytes(firstDay), "found\r\n") << "the day before's report stays";
}

}  // namespace
