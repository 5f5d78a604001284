// A monitor window viewing a remote site whose connection can never work as
// set up — a wrong password, a broker certificate that fails its check, a
// topic too long for MQTT — shows "Lost" with the reason in the window and
// in the port's error box, and stops retrying; it does not show "Running"
// or "Reconnecting..." for ever. Real mosquitto, certificates made by
// openssl, the program's own sources and pipeline; the window offscreen.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <fstream>
#include <functional>
#include <string>

#include "e2e/port_viewer.h"
#include "mosquitto_broker.h"
#include "wait_until.h"
#include "tls_certificates.h"

namespace orlix {
namespace {

// A monitor window whose Com1 is `path`, with the password and TLS files of
// `broker`.
struct Viewer : test::PortViewer {
    Viewer(const std::string& path, BrokerOptions broker)
        : PortViewer(path, SourceSettings{nullptr, 1.0, std::move(broker)}) {}
    // The details of the port's error boxes shown so far.
    std::vector<std::string> boxes() const {
        std::vector<std::string> out;
        for (const auto& r : dialogs.requests)
            if (r.kind == "message" && r.text == "Communcation port cannot be open!!") out.push_back(r.detail);
        return out;
    }
};

// Starts the viewer and waits for its one error box; checks what the window
// shows then, and that it stays so (no retry brings up "Reconnecting...").
void expectLostForGood(Viewer& v, const std::string& reason) {
    v.window.startCmdClick();
    ASSERT_TRUE(test::qtWaitUntil([&] { return !v.boxes().empty(); }, 20000)) << v.status().toStdString();
    EXPECT_EQ(v.status(), "Lost");
    EXPECT_EQ(v.window.windowTitle(), "Orlix Monitor---Lost");
    EXPECT_EQ(v.window.linkState(), FrmMain::LinkState::Stopped);
    ASSERT_EQ(v.boxes().size(), 1u);
    EXPECT_NE(v.boxes()[0].find(reason), std::string::npos) << v.boxes()[0];
    EXPECT_NE(v.window.StatusTxt()->toolTip().toStdString().find(reason), std::string::npos);
    // No retry: the source is gone until Start makes a new one.
    EXPECT_EQ(v.pipeline.port().source(), nullptr);
    for (int i = 0; i < 5; ++i) v.tick();
    EXPECT_EQ(v.pipeline.port().source(), nullptr);
    EXPECT_EQ(v.status(), "Lost");
    EXPECT_EQ(v.boxes().size(), 1u);
    EXPECT_NE(v.window.windowTitle(), "Orlix Monitor---Reconnecting...");
}

TEST(MonitorOnRemoteSite, AWrongPasswordShowsLostWithTheBrokersReason) {
    test::MosquittoBroker broker(std::vector<test::MosquittoBroker::User>{{"office", "Right-pw-5"}});
    ASSERT_TRUE(broker.ok()) << broker.log();
    const std::string pw = (broker.dir() / "office.pw").string();
    std::ofstream(pw) << "Wrong-pw-6\n";
    Viewer v(broker.url("plant/north", "office"), BrokerOptions{{}, pw, {}, {}, {}});
    expectLostForGood(v, "the broker refused the connection: Connection Refused: not authorised.");

    // Mended, Start connects again (the password file is read afresh).
    std::ofstream(pw) << "Right-pw-5\n";
    v.window.startCmdClick();
    EXPECT_EQ(v.status(), "Start");
    EXPECT_TRUE(test::qtWaitUntil([&] { return v.ups == 1; }, 10000)) << ::testing::PrintToString(v.boxes());
    EXPECT_EQ(v.status(), "Start");
    EXPECT_EQ(v.boxes().size(), 1u);
}

TEST(MonitorOnRemoteSite, ACertificateThatFailsItsCheckShowsLostWithTheCause) {
    test::TlsCertificates certs;
    ASSERT_TRUE(certs.ok());
    test::MosquittoBroker good({}, {}, certs.listener("server"));
    test::MosquittoBroker expired({}, {}, certs.listener("expired"));
    test::MosquittoBroker elsewhere({}, {}, certs.listener("elsewhere"));
    for (auto* b : {&good, &expired, &elsewhere}) ASSERT_TRUE(b->ok()) << b->log();
    auto site = [](const test::MosquittoBroker& b) {
        return "mqtts://127.0.0.1:" + std::to_string(b.port()) + "/plant/north";
    };
    {
        Viewer v(site(good), BrokerOptions{{}, {}, certs.path("other-ca.crt"), {}, {}});
        expectLostForGood(v, "is not signed by a CA in " + certs.path("other-ca.crt"));
    }
    {
        Viewer v(site(expired), BrokerOptions{{}, {}, certs.path("ca.crt"), {}, {}});
        expectLostForGood(v, "expired on 2020-01-02 00:00 UTC");
    }
    {
        Viewer v(site(elsewhere), BrokerOptions{{}, {}, certs.path("ca.crt"), {}, {}});
        expectLostForGood(v, "is made out for another host: CN=broker.example");
    }
}

// A topic over MQTT's 65,535 bytes is known before any connection: Start
// shows the port's error box with the reason and nothing runs.
TEST(MonitorOnRemoteSite, ATopicTooLongForMqttIsRefusedAtStartWithTheReason) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok());
    Viewer v(broker.url("plant/" + std::string(65530, 's')), BrokerOptions{});
    v.window.startCmdClick();
    ASSERT_EQ(v.boxes().size(), 1u);
    EXPECT_NE(v.boxes()[0].find("bytes long; MQTT allows at most 65535"), std::string::npos) << v.boxes()[0];
    EXPECT_LT(v.boxes()[0].size(), 400u) << "the topic is named by its beginning";
    EXPECT_NE(v.status(), "Start");
    EXPECT_EQ(v.window.linkState(), FrmMain::LinkState::Stopped);
    EXPECT_LT(v.window.windowTitle().size(), 200);
}

}  // namespace
}  // namespace orlix
