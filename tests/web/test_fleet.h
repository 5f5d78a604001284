#pragma once
// Sites for the web tests, published as their recorders publish them: a
// simulated plant's bus bytes go through the project's receive path and
// sampler, and the recorder's own SitePublisher sends raw, sample and
// faults (one broker client for all sites). A site can be stopped (it falls
// quiet, as a recorder that died) and started again, and a fault entry can
// be put into its error memory. Driven by a timer on the Qt event loop.
//
// Replaceable by the fleet simulator (orlix-fleet-sim) once it is there.
#include <QTimer>
#include <map>
#include <memory>
#include <string>

#include "base/clock.h"
#include "base/date_time.h"
#include "comm/receive_path.h"
#include "mqtt/mqtt_client.h"
#include "recorder/site_publisher.h"
#include "sampling/sampler.h"
#include "sim/plant_model.h"

namespace orlix::test {

struct FleetOptions {
    int tickMs = 250;          // one bus frame per tick
    int ticksPerSample = 16;   // a sample every 16 ticks (4 s of real time at 250 ms)
    double startLagSeconds = 0;  // sample times start this far before now and advance 4 s per sample
};

class TestFleet {
public:
    TestFleet(const std::string& brokerUrl, const std::string& prefix, FleetOptions options = {})
        : prefix_(prefix), options_(options) {
        MqttClientSettings s;
        s.url = *parseMqttUrl(brokerUrl).url;
        client_ = std::make_unique<MqttClient>(s, MqttClient::Events{});
        std::string error;
        client_->start(error);
        timer_.setInterval(options_.tickMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start();
    }
    ~TestFleet() { client_->stop(1000); }

    bool connected() const { return client_->connected(); }

    void add(const std::string& name, std::uint32_t seed) {
        PlantModel::Options o;
        o.faults = false;
        auto site = std::make_unique<Site>(seed, o);
        site->clock.set(localNow() - secondsToDays(options_.startLagSeconds));
        site->publisher = std::make_unique<SitePublisher>(
            prefix_ + "/" + name, site->clock,
            [this](const std::string& topic, std::span<const std::uint8_t> payload, int qos, bool retain) {
                client_->publish(topic, payload, qos, retain);
            });
        site->sampler.addListener(site->publisher.get());
        client_->publish(prefix_ + "/" + name + "/status", std::string("online"), 1, true);
        sites_[name] = std::move(site);
    }
    void stop(const std::string& name) { sites_.at(name)->running = false; }
    void start(const std::string& name) { sites_.at(name)->running = true; }
    // An error-memory entry of list 0..2 ("Normal" returns the list to normal).
    void fault(const std::string& name, int list, const std::string& status) {
        Site& s = *sites_.at(name);
        s.publisher->addErrorEntry(list, timeOfDayText(s.clock.now()) + status);
    }
    std::uint64_t samplesSent() const { return samples_; }

private:
    struct Site {
        Site(std::uint32_t seed, PlantModel::Options o) : plant(seed, o), path(clock), sampler(path.store().LiveValues) {}
        PlantModel plant;
        ManualClock clock;
        ReceivePath path;
        Sampler sampler;
        std::unique_ptr<SitePublisher> publisher;
        bool running = true;
        int ticks = 0;
    };
    void tick() {
        for (auto& [name, site] : sites_) {
            // A stopped site's time goes on: it has a gap when it is back.
            const bool due = ++site->ticks % options_.ticksPerSample == 0;
            if (due) site->clock.advanceSeconds(4);
            if (!site->running) continue;
            const std::vector<std::uint8_t> frame = site->plant.nextFrame();
            site->path.onRead(frame);
            site->publisher->onRead(frame);
            if (!due) continue;
            site->sampler.tick(site->clock.now());
            ++samples_;
        }
    }

    std::string prefix_;
    FleetOptions options_;
    std::unique_ptr<MqttClient> client_;
    std::map<std::string, std::unique_ptr<Site>> sites_;
    QTimer timer_;
    std::uint64_t samples_ = 0;
};

}  // namespace orlix::test
