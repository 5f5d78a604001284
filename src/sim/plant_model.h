#pragma once
// A simulated plant: the byte stream a running modular air-conditioning plant
// puts on its bus. Alternating A5 and 5A frames with slowly varying values
// (temperatures and pressures drifting, the compressor and valves cycling,
// slave states changing, a fault that comes and goes), now and then a
// corrupted frame and a little line noise. Fully deterministic for a seed, on
// every platform (its own random source, no standard distributions).
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace orlix {

using FrameData = std::array<std::uint8_t, 60>;

// 0x55, kind (0xA5 or 0x5A), the 60 data bytes, checksum over kind + data.
std::vector<std::uint8_t> buildFrame(std::uint8_t kind, std::span<const std::uint8_t, 60> data);

// One frame's time on the line at 1200 baud, 10 bits per byte.
inline constexpr double kFrameSeconds = 63 * 10 / 1200.0;

class PlantModel {
public:
    struct Options {
        double corruptChance = 0.005;  // per frame: one byte flipped on the line
        double noiseChance = 0.005;    // per frame: a few stray bytes before it
        bool faults = true;            // a fault that comes and goes now and then
    };

    explicit PlantModel(std::uint32_t seed);
    PlantModel(std::uint32_t seed, Options options);

    // The bytes of the next frame as they appear on the line (possibly with
    // noise before it, possibly corrupted). Frames alternate A5, 5A, A5, ...
    std::vector<std::uint8_t> nextFrame();
    // Appends the next frame's bytes to `out` (no allocation once `out` has
    // grown).
    void appendNextFrame(std::vector<std::uint8_t>& out);

    std::uint64_t framesMade() const { return frames_; }
    std::uint64_t framesCorrupted() const { return corrupted_; }
    // Plant time in seconds: each frame advances it by kFrameSeconds.
    double plantSeconds() const { return seconds_; }

private:
    std::uint64_t random();
    double uniform();                   // [0, 1)
    double drift(double v, double target, double rate, double jitter);
    void step(double dt);
    void fillA5();
    void fill5A();

    Options opt_;
    std::uint64_t rng_;
    std::uint64_t frames_ = 0, corrupted_ = 0;
    double seconds_ = 0;
    FrameData a5_{}, x5a_{};

    // Plant state.
    int slaves_ = 3;
    bool heating_ = false;
    bool compOn_ = false;
    double phaseLeft_ = 0;     // seconds until the compressor changes state
    double ambient_ = 30;
    double td_ = 30, ts_ = 28, toil_ = 30, te_ = 28, tk_[3] = {30, 30, 30};
    double pd_ = 1200, ps_ = 1150;  // kg/cm2 x 100
    double freq_ = 0, pmv_ = 0, pmvTarget_ = 0;
    double fan_ = 0;
    double current1_ = 0, current2_ = 0;
    std::uint16_t onOffTime_ = 0;
    struct Slave {
        bool on = false;
        double phaseLeft = 0;
        double td = 30, ts = 28, toil = 30, ps = 1150, pmv = 0;
        std::uint16_t runTime = 0;
        std::uint8_t outputs = 0;
        bool oilbal = false;
    } slave_[4];
    double faultLeft_ = 0;     // seconds the current fault stays
    double nextFaultIn_ = 0;   // seconds until the next fault
    std::uint8_t faultByte_ = 0, faultCode_ = 0;
    double runSecondsFrac_ = 0;
};

}  // namespace orlix
