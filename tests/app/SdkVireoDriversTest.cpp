// The controller on its own SDK drivers with nothing answering them: no conmon server, no
// configuration service, no devices. Every driver is then held in a start-up wait.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include <net/if.h>

#include <memory>

#include "OvaltaVireoConmon.h"
#include "OvaltaVireoRouter.h"
#include "SdkVireoDrivers.h"
#include "VireoThreads.h"

namespace {

TEST(SdkVireoDrivers, StopsPromptlyWhileEveryStartUpWaits) {
    VireoThreadsTiming timing;
    timing.first_refresh_ms = -1;
    timing.refresh_pause_ms = 200;
    auto controller =
        std::make_unique<VireoThreads>(int(::if_nametoindex("zeb0")), nullptr, nullptr, timing);
    ASSERT_NE(controller->getConmonObj(), nullptr);
    ASSERT_NE(controller->getRouterObj(), nullptr);
    QTest::qWait(300);
    EXPECT_FALSE(controller->getConmonObj()->isStarted());

    QElapsedTimer clock;
    clock.start();
    controller->refresh();
    EXPECT_LT(clock.elapsed(), timing.refresh_pause_ms + 500);
    EXPECT_NE(controller->getConmonObj(), nullptr);

    QTest::qWait(300);
    clock.restart();
    controller.reset();
    EXPECT_LT(clock.elapsed(), 500);
}

}  // namespace
