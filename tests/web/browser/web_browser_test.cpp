// The pages in headless Chromium (python3-selenium, Debian's chromium and
// chromium-driver) against a real hub, mosquitto and PostgreSQL, with twelve
// sites that publish as their recorders do. Each test runs one scenario of
// pages_test.py and does what it asks on its control line: raise a fault,
// stop or start a site. A failing scenario leaves a screenshot and the
// page's console log in the build folder (browser-artifacts/).
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

#include "test_fleet.h"
#include "web_rig.h"

namespace orlix::web {
namespace {

using test::qtWaitUntil;

constexpr int kSites = 12;

std::string siteName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "site-%02d", i);
    return name;
}

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.ok());
        rig.addUser("vera", Role::Viewer, "viewer password");
        rig.addUser("emil", Role::Engineer, "engineer password");
        // Sample times start an hour back and run 8 times faster than the clock.
        fleet = std::make_unique<test::TestFleet>(rig.broker.url("plants"), "plants", test::FleetOptions{250, 2, 3600});
        for (int i = 1; i <= kSites; ++i) fleet->add(siteName(i), static_cast<std::uint32_t>(i));
        ASSERT_TRUE(qtWaitUntil([&] {
            return rig.text("SELECT count(*) FROM sites WHERE last_message > now() - interval '2 seconds'") ==
                   std::to_string(kSites);
        }, 30000));
    }

    // Runs a scenario; its exit status (0: passed).
    int scenario(const char* name) {
        QProcess p;
        p.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&p, &QProcess::readyReadStandardOutput, [&] {
            while (p.canReadLine()) {
                const std::string line = p.readLine().trimmed().toStdString();
                std::printf("  [%s] %s\n", name, line.c_str());
                if (act(line)) p.write("ok\n");
            }
        });
        QObject::connect(&p, &QProcess::readyReadStandardError,
                         [&] { std::fprintf(stderr, "%s", p.readAllStandardError().constData()); });
        p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(ORLIX_PAGES_TEST_PY), QString::fromLatin1(name),
                                                     QString::fromStdString(rig.base()),
                                                     QStringLiteral(ORLIX_BROWSER_ARTIFACTS)});
        if (!qtWaitUntil([&] { return p.state() == QProcess::NotRunning; }, 240000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // "fault SITE STATUS", "stop SITE", "start SITE".
    bool act(const std::string& line) {
        const QStringList w = QString::fromStdString(line).split(QLatin1Char(' '));
        if (w.size() == 3 && w[0] == QLatin1String("fault")) {
            fleet->fault(w[1].toStdString(), 0, w[2].toStdString());
            return true;
        }
        if (w.size() == 2 && (w[0] == QLatin1String("stop") || w[0] == QLatin1String("start"))) {
            if (w[0] == QLatin1String("stop")) fleet->stop(w[1].toStdString());
            else fleet->start(w[1].toStdString());
            return true;
        }
        return false;
    }

    test::WebRig rig;
    std::unique_ptr<test::TestFleet> fleet;
};

TEST_F(BrowserTest, ALoginShowsTheFleetAndASiteLiveWithItsFieldsChanging) {
    EXPECT_EQ(scenario("fleet_and_live"), 0);
}

TEST_F(BrowserTest, AFaultsAlarmAppearsWithoutReloadingAndIsAcknowledged) {
    EXPECT_EQ(scenario("alarm_and_acknowledge"), 0);
}

TEST_F(BrowserTest, AStoppedSiteGoesOfflineAndLeavesAGapInItsHistory) {
    EXPECT_EQ(scenario("offline_and_gap"), 0);
}

TEST_F(BrowserTest, AViewerCannotAcknowledgeAndAChangeWithoutItsCsrfTokenIsRefused) {
    EXPECT_EQ(scenario("viewer_and_csrf"), 0);
}

}  // namespace
}  // namespace orlix::web
