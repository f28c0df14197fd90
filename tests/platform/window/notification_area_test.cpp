// The headless notification area is part of its run: a test that takes it away cannot
// leave the next run of the window system without one.
#include "platform/window/HeadlessControls.h"
#include "platform/window/NotificationArea.h"
#include "platform/window/WindowSystem.h"

#include <gtest/gtest.h>

namespace {

TEST(NotificationAreaTest, HeadlessSwitchLastsOneRun)
{
    EXPECT_FALSE(platform::HasNotificationArea()); // nothing runs
    ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless));
    EXPECT_TRUE(platform::HasNotificationArea());
    platform::HeadlessSetNotificationArea(false);
    EXPECT_FALSE(platform::HasNotificationArea());
    platform::ShutdownWindowSystem();
    EXPECT_FALSE(platform::HasNotificationArea());
    ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless));
    EXPECT_TRUE(platform::HasNotificationArea()) << "the last run's switch outlived it";
    platform::ShutdownWindowSystem();
}

} // namespace
