// mqtts:// failures against a real mosquitto with certificates made by
// openssl: each cause gets its own line, naming the file or host concerned.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "log_capture.h"
#include "mosquitto_broker.h"
#include "mqtt/mqtt_client.h"
#include "tls_certificates.h"
#include "wait_until.h"

namespace orlix {
namespace {

using namespace std::chrono_literals;

struct Outcome {
    bool connected = false;
    std::string why;  // the cause of the first failure
    bool lasting = false;
    std::vector<std::string> log;  // orlix.mqtt lines
};

// Connects to `broker` over TLS and waits for the first connect or failure.
Outcome attempt(const test::MosquittoBroker& broker, const std::string& ca, const std::string& cert = {},
                const std::string& key = {}) {
    test::LogCapture capture;
    MqttClientSettings s;
    s.url = *parseMqttUrl("mqtts://127.0.0.1:" + std::to_string(broker.port()) + "/plant").url;
    s.tlsCaFile = ca;
    s.tlsCertFile = cert;
    s.tlsKeyFile = key;
    std::mutex m;
    Outcome out;
    bool answered = false;
    MqttClient::Events e;
    e.onConnection = [&](bool up, const std::string& why, bool lasting) {
        std::lock_guard lock(m);
        if (answered) return;
        answered = true;
        out.connected = up;
        out.why = why;
        out.lasting = lasting;
    };
    MqttClient client(s, std::move(e));
    std::string error;
    EXPECT_TRUE(client.start(error)) << error;
    EXPECT_TRUE(test::waitUntil([&] {
        std::lock_guard lock(m);
        return answered;
    }, 20s));
    client.stop(0);
    out.log = capture.of("orlix.mqtt");
    return out;
}

std::size_t linesWith(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

// An unknown CA, an expired certificate, a certificate for another host and
// a refused client certificate: four different lines, each naming the CA
// file, the host or the client certificate; each lasting (the same until a
// setting changes). The right files connect.
TEST(MqttTls, EachFailedCheckNamesItsCauseAndTheFileOrHost) {
    test::TlsCertificates certs;
    ASSERT_TRUE(certs.ok()) << test::readWhole(certs.path("openssl.log"));
    test::MosquittoBroker good({}, {}, certs.listener("server"));
    test::MosquittoBroker expired({}, {}, certs.listener("expired"));
    test::MosquittoBroker elsewhere({}, {}, certs.listener("elsewhere"));
    test::MosquittoBroker strict({}, {}, certs.listener("server", true));
    for (auto* b : {&good, &expired, &elsewhere, &strict}) ASSERT_TRUE(b->ok()) << b->log();

    const Outcome unknownCa = attempt(good, certs.path("other-ca.crt"));
    EXPECT_EQ(unknownCa.why, "TLS: the certificate of 127.0.0.1 (CN=127.0.0.1, IP:127.0.0.1, DNS:localhost) is not "
                             "signed by a CA in " + certs.path("other-ca.crt"));
    const Outcome old = attempt(expired, certs.path("ca.crt"));
    EXPECT_EQ(old.why, "TLS: the certificate of 127.0.0.1 (CN=127.0.0.1, IP:127.0.0.1, DNS:localhost) expired on "
                       "2020-01-02 00:00 UTC");
    const Outcome otherHost = attempt(elsewhere, certs.path("ca.crt"));
    EXPECT_EQ(otherHost.why,
              "TLS: the certificate of 127.0.0.1 is made out for another host: CN=broker.example, DNS:broker.example");
    const Outcome stranger = attempt(strict, certs.path("ca.crt"), certs.path("stranger.crt"), certs.path("stranger.key"));
    EXPECT_EQ(stranger.why.rfind("TLS: 127.0.0.1 refused the client certificate " + certs.path("stranger.crt") + " (", 0),
              0u)
        << stranger.why;
    const Outcome none = attempt(strict, certs.path("ca.crt"));
    EXPECT_EQ(none.why.rfind("TLS: 127.0.0.1 asks for a client certificate and none is given (", 0), 0u) << none.why;

    for (const Outcome* o : {&unknownCa, &old, &otherHost, &stranger, &none}) {
        EXPECT_FALSE(o->connected) << o->why;
        EXPECT_TRUE(o->lasting) << o->why;
        // One warning line carries the cause.
        EXPECT_EQ(linesWith(o->log, o->why), 1u) << ::testing::PrintToString(o->log);
    }

    EXPECT_TRUE(attempt(good, certs.path("ca.crt")).connected);
    EXPECT_TRUE(attempt(strict, certs.path("ca.crt"), certs.path("client.crt"), certs.path("client.key")).connected);
}

// A broker that is simply not there is no lasting failure: it may come; and
// when it does, the client connects.
TEST(MqttTls, AnAbsentBrokerIsNoLastingFailureAndIsReachedWhenItComes) {
    test::TlsCertificates certs;
    ASSERT_TRUE(certs.ok());
    test::MosquittoBroker broker({}, {}, certs.listener("server"));
    ASSERT_TRUE(broker.ok());
    broker.stop();
    const Outcome o = attempt(broker, certs.path("ca.crt"));
    EXPECT_FALSE(o.connected);
    EXPECT_FALSE(o.lasting) << o.why;
    EXPECT_EQ(o.why, "Connection refused");

    MqttClientSettings s;
    s.url = *parseMqttUrl("mqtts://127.0.0.1:" + std::to_string(broker.port()) + "/plant").url;
    s.tlsCaFile = certs.path("ca.crt");
    test::LogCapture capture;
    MqttClient client(s, {});
    std::string error;
    ASSERT_TRUE(client.start(error));
    ASSERT_TRUE(test::waitUntil([&] { return linesWith(capture.all(), "cannot connect: Connection refused") == 1; }));
    ASSERT_TRUE(broker.start());
    EXPECT_TRUE(test::waitUntil([&] { return client.connected(); }, 20s));
}

}  // namespace
}  // namespace orlix
