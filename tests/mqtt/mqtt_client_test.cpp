// The broker client against a real mosquitto.
#include "mqtt/mqtt_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "log_capture.h"
#include "mosquitto_broker.h"
#include "wait_until.h"

namespace orlix {
namespace {

using namespace std::chrono_literals;

using test::waitUntil;

MqttClientSettings settingsFor(const test::MosquittoBroker& broker, const std::string& credentials = {}) {
    MqttClientSettings s;
    s.url = *parseMqttUrl(broker.url("plant", credentials)).url;
    return s;
}

// QoS 1 messages published while the broker is away wait in the client and
// reach a subscriber with a persistent session once the broker is back; the
// status says "online" at every connect.
TEST(MqttClient, MessagesPublishedWhileTheBrokerIsAwayAreDeliveredWhenItIsBack) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::Subscriber sub(broker.port(), "plant/q/#", {"-c", "-i", "orlix-client-test"});
    std::this_thread::sleep_for(300ms);
    MqttClientSettings s = settingsFor(broker);
    s.statusTopic = "plant/q/status";
    MqttClient client(s, {});
    std::string error;
    ASSERT_TRUE(client.start(error)) << error;
    ASSERT_TRUE(waitUntil([&] { return client.connected(); }));
    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !client.connected(); }));
    for (int i = 0; i < 30; ++i) EXPECT_TRUE(client.publish("plant/q/sample", "m" + std::to_string(i), 1));
    EXPECT_FALSE(client.publish("plant/q/raw", std::string("bytes"), 0)) << "raw bytes are not kept";
    MqttCounters c = client.counters();
    EXPECT_EQ(c.queued, 30u);
    EXPECT_EQ(c.dropped, 1u);
    ASSERT_TRUE(broker.start());
    EXPECT_TRUE(sub.waitFor([&] { return sub.on("plant/q/sample").size() >= 30; }, 20s))
        << broker.log() << ::testing::PrintToString(sub.lines()) << client.connected() << " queued "
        << client.counters().queued;
    std::vector<std::string> got = sub.on("plant/q/sample");
    for (int i = 0; i < 30; ++i)
        EXPECT_NE(std::find(got.begin(), got.end(), "0 m" + std::to_string(i)), got.end()) << i;
    EXPECT_TRUE(waitUntil([&] { return client.counters().queued == 0; }));
    EXPECT_GE(client.counters().delivered, 30u);
    const std::vector<std::string> status = sub.on("plant/q/status");
    EXPECT_GE(std::count(status.begin(), status.end(), "0 online"), 1);
    client.stop();
    EXPECT_TRUE(sub.waitFor([&] { return sub.on("plant/q/status").back() == "0 offline"; }));
}

// Beyond the bound a new message is dropped and counted, once logged.
TEST(MqttClient, TheQueueIsBounded) {
    test::LogCapture capture;
    MqttClientSettings s;
    s.url = *parseMqttUrl("mqtt://127.0.0.1:" + std::to_string(test::freeLocalPort()) + "/p").url;
    s.maxQueued = 5;
    MqttClient client(s, {});
    std::string error;
    ASSERT_TRUE(client.start(error));
    int accepted = 0;
    for (int i = 0; i < 8; ++i) accepted += client.publish("p/x", std::string("m"), 1) ? 1 : 0;
    EXPECT_EQ(accepted, 5);
    EXPECT_EQ(client.counters().dropped, 3u);
    EXPECT_EQ(client.counters().queued, 5u);
    EXPECT_FALSE(client.waitForRoom(5, 0ms)) << "five wait: no room below five";
    EXPECT_TRUE(client.waitForRoom(6, 0ms));
    client.stop();
    const auto lines = capture.of(log::kMqtt);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("queue full") != std::string::npos; }),
              1);
}

// A publisher that waits for room before each message never outruns the
// broker, also with a single message in flight; the broker gets them all in
// the order published.
TEST(MqttClient, APublisherWaitingForRoomKeepsPaceWithTheBroker) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::Subscriber sub(broker.port(), "plant/w/#");
    MqttClientSettings s = settingsFor(broker);
    s.inFlight = 1;
    s.maxQueued = 4;
    MqttClient client(s, {});
    std::string error;
    ASSERT_TRUE(client.start(error)) << error;
    // A retained message reaches the subscriber whenever it subscribes: once
    // it has it, it hears everything after.
    ASSERT_TRUE(client.publish("plant/w/ready", std::string("1"), 1, true));
    ASSERT_TRUE(sub.waitFor([&] { return !sub.on("plant/w/ready").empty(); }));
    constexpr int kMessages = 300;
    for (int i = 0; i < kMessages; ++i) {
        ASSERT_TRUE(client.waitForRoom(s.maxQueued, 20s)) << i;
        ASSERT_TRUE(client.publish("plant/w/sample", std::to_string(i), 1)) << i;
    }
    EXPECT_TRUE(client.waitForRoom(1, 20s)) << "every message acknowledged";
    EXPECT_EQ(client.counters().delivered, static_cast<std::uint64_t>(kMessages) + 1) << "and the ready message";
    EXPECT_EQ(client.counters().dropped, 0u);
    ASSERT_TRUE(sub.waitFor([&] { return sub.on("plant/w/sample").size() >= kMessages; }));
    const std::vector<std::string> got = sub.on("plant/w/sample");
    for (int i = 0; i < kMessages; ++i) EXPECT_EQ(got[static_cast<std::size_t>(i)], "0 " + std::to_string(i));
}

// A refused login is logged once with its cause, never with the password,
// and retried; the right password connects.
TEST(MqttClient, RefusedLoginIsOneLineWithoutThePassword) {
    test::MosquittoBroker broker(std::vector<test::MosquittoBroker::User>{{"rec", "Right-pw-77"}});
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::LogCapture capture;
    {
        MqttClient client(settingsFor(broker, "rec:Wrong-pw-42"), {});
        std::string error;
        ASSERT_TRUE(client.start(error));
        std::this_thread::sleep_for(3500ms);  // the first try and two retries
        EXPECT_FALSE(client.connected());
        client.stop();
    }
    const auto all = capture.all();
    for (const std::string& l : all) EXPECT_EQ(l.find("Wrong-pw-42"), std::string::npos) << l;
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const std::string& l) { return l.find("not authorised") != std::string::npos; }),
              1)
        << ::testing::PrintToString(all);
    MqttClient right(settingsFor(broker, "rec:Right-pw-77"), {});
    std::string error;
    ASSERT_TRUE(right.start(error));
    EXPECT_TRUE(waitUntil([&] { return right.connected(); }));
}


}  // namespace
}  // namespace orlix
