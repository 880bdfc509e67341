#include "ServiceStatusRecord.h"

#include <gtest/gtest.h>

namespace {

struct Report {
    DWORD state;
    DWORD waitHint;
    DWORD checkPoint;
    DWORD controlsAccepted;
};

TEST(ServiceStatusRecord, NumbersTheReportsOfAStartAndAStop)
{
    const Report run[] = {
        {SERVICE_START_PENDING, 3000, 1, 0},
        {SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP},
        {SERVICE_STOP_PENDING, 0, 2, SERVICE_ACCEPT_STOP},
        {SERVICE_STOP_PENDING, 0, 3, SERVICE_ACCEPT_STOP},
        {SERVICE_STOPPED, 0, 0, SERVICE_ACCEPT_STOP},
    };
    ServiceStatusRecord record;
    for (const Report& expected : run) {
        const auto status = record.next(expected.state, expected.waitHint);
        ASSERT_TRUE(status.has_value()) << expected.state;
        EXPECT_EQ(status->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(status->dwCurrentState, expected.state);
        EXPECT_EQ(status->dwWaitHint, expected.waitHint);
        EXPECT_EQ(status->dwCheckPoint, expected.checkPoint) << expected.state;
        EXPECT_EQ(status->dwControlsAccepted, expected.controlsAccepted) << expected.state;
        EXPECT_EQ(status->dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(status->dwServiceSpecificExitCode, 0u);
        EXPECT_EQ(record.currentState(), expected.state);
    }
}

TEST(ServiceStatusRecord, ReportsNothingAfterStopped)
{
    ServiceStatusRecord record;
    record.next(SERVICE_START_PENDING, 3000);
    record.next(SERVICE_RUNNING, 0);
    ASSERT_TRUE(record.next(SERVICE_STOPPED, 0).has_value());
    for (DWORD late : {DWORD(SERVICE_STOP_PENDING), DWORD(SERVICE_RUNNING), DWORD(SERVICE_STOPPED)})
        EXPECT_FALSE(record.next(late, 0).has_value()) << late;
    EXPECT_EQ(record.currentState(), static_cast<DWORD>(SERVICE_STOPPED));
}

struct ExitCase {
    ServiceExit exit;
    DWORD win32ExitCode;
    DWORD serviceSpecificExitCode;
};

class ServiceStatusRecordExit : public testing::TestWithParam<ExitCase> {};

// The service control manager runs its recovery actions only for a stop
// whose exit code is not NO_ERROR.
TEST_P(ServiceStatusRecordExit, TellsWhyTheServiceStoppedOnlyWithStopped)
{
    const ExitCase& c = GetParam();
    ServiceStatusRecord record;
    record.next(SERVICE_START_PENDING, 3000);
    const auto running = record.next(SERVICE_RUNNING, 0, c.exit);
    ASSERT_TRUE(running.has_value());
    EXPECT_EQ(running->dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(running->dwServiceSpecificExitCode, 0u);
    const auto stopped = record.next(SERVICE_STOPPED, 0, c.exit);
    ASSERT_TRUE(stopped.has_value());
    EXPECT_EQ(stopped->dwWin32ExitCode, c.win32ExitCode);
    EXPECT_EQ(stopped->dwServiceSpecificExitCode, c.serviceSpecificExitCode);
}

INSTANTIATE_TEST_SUITE_P(EveryExit, ServiceStatusRecordExit,
                         testing::Values(ExitCase{ServiceExit::Requested, NO_ERROR, 0},
                                         ExitCase{ServiceExit::NotStarted, ERROR_SERVICE_SPECIFIC_ERROR, 1},
                                         ExitCase{ServiceExit::Failed, ERROR_SERVICE_SPECIFIC_ERROR, 2}),
                         [](const testing::TestParamInfo<ExitCase>& info) {
                             return "Code" + std::to_string(static_cast<DWORD>(info.param.exit));
                         });

TEST(ServiceStatusRecord, StopsWithoutRunningWhenTheServiceCannotStart)
{
    ServiceStatusRecord record;
    record.next(SERVICE_START_PENDING, 3000);
    const auto stopped = record.next(SERVICE_STOPPED, 0);
    ASSERT_TRUE(stopped.has_value());
    EXPECT_EQ(stopped->dwCheckPoint, 0u);
    EXPECT_EQ(stopped->dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
}

} // namespace
