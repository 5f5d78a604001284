#include "sim/plant_model.h"

#include <algorithm>
#include <cmath>

namespace orlix {

namespace {

std::uint8_t clampByte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }
std::uint16_t clampWord(double v) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
}
// A temperature in degrees Celsius as the bus carries it: value + 64.
std::uint8_t tempByte(double c) { return clampByte(c + 64); }
void putWord(FrameData& d, int hi, double v) {
    const std::uint16_t w = clampWord(v);
    d[static_cast<std::size_t>(hi)] = static_cast<std::uint8_t>(w >> 8);
    d[static_cast<std::size_t>(hi + 1)] = static_cast<std::uint8_t>(w & 0xFF);
}
// Slave suction pressure (kg/cm2 x 100) to its sensor byte.
std::uint8_t slavePressureByte(double hundredths) { return clampByte((hundredths * 25 + 4083) / 160); }

// The faults the plant shows now and then: {data byte of the A5 frame, bits}.
struct FaultKind {
    std::uint8_t byte, bits;
};
constexpr FaultKind kFaults[] = {{2, 0x01}, {2, 0x02}, {2, 0x20}, {3, 0x10}, {3, 0x04}, {1, 0x08}, {5, 0x02}};

}  // namespace

std::vector<std::uint8_t> buildFrame(std::uint8_t kind, std::span<const std::uint8_t, 60> data) {
    std::vector<std::uint8_t> f(63);
    f[0] = 0x55;
    f[1] = kind;
    unsigned sum = kind;
    for (std::size_t i = 0; i < 60; ++i) {
        f[i + 2] = data[i];
        sum += data[i];
    }
    f[62] = static_cast<std::uint8_t>(sum & 0xFF);
    return f;
}

PlantModel::PlantModel(std::uint32_t seed) : PlantModel(seed, Options{}) {}

PlantModel::PlantModel(std::uint32_t seed, Options options)
    : opt_(options), rng_(0x9E3779B97F4A7C15ull ^ (std::uint64_t{seed} << 1 | 1)) {
    slaves_ = 2 + static_cast<int>(random() % 3);  // 2..4 slaves answer
    heating_ = random() % 3 == 0;
    ambient_ = heating_ ? 2 + uniform() * 6 : 27 + uniform() * 8;
    td_ = ts_ = toil_ = te_ = ambient_;
    for (double& t : tk_) t = ambient_;
    for (Slave& s : slave_) {
        s.td = s.ts = s.toil = ambient_;
        s.phaseLeft = 60 + uniform() * 600;
    }
    phaseLeft_ = 20 + uniform() * 60;
    nextFaultIn_ = 120 + uniform() * 900;
}

std::uint64_t PlantModel::random() {
    // splitmix64: small, fast and the same everywhere.
    std::uint64_t z = (rng_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double PlantModel::uniform() { return static_cast<double>(random() >> 11) * (1.0 / 9007199254740992.0); }

double PlantModel::drift(double v, double target, double rate, double jitter) {
    return v + (target - v) * rate + (uniform() - 0.5) * jitter;
}

void PlantModel::step(double dt) {
    seconds_ += dt;
    // The compressor runs for minutes, then rests.
    phaseLeft_ -= dt;
    if (phaseLeft_ <= 0) {
        compOn_ = !compOn_;
        phaseLeft_ = compOn_ ? 300 + uniform() * 900 : 120 + uniform() * 300;
        onOffTime_ = 0;
    }
    runSecondsFrac_ += dt;
    const auto whole = static_cast<std::uint16_t>(runSecondsFrac_);
    runSecondsFrac_ -= whole;
    onOffTime_ = static_cast<std::uint16_t>(onOffTime_ + whole);

    const double k = std::min(1.0, dt / 120);  // about two minutes to settle
    ambient_ += (uniform() - 0.5) * 0.02;
    const double load = compOn_ ? 1 : 0;
    freq_ = drift(freq_, compOn_ ? 60 + 30 * std::sin(seconds_ / 1800) : 0, std::min(1.0, dt / 30), 0.4);
    if (freq_ < 0.5 && !compOn_) freq_ = 0;
    td_ = drift(td_, ambient_ + load * (heating_ ? 50 : 45), k, 0.3);
    ts_ = drift(ts_, heating_ ? ambient_ - 5 * load : ambient_ - 18 * load, k, 0.2);
    toil_ = drift(toil_, ambient_ + load * 15, k / 3, 0.1);
    te_ = drift(te_, heating_ ? ambient_ - 8 * load : ambient_ - 20 * load, k, 0.2);
    for (double& t : tk_) t = drift(t, ambient_ + load * 8, k, 0.2);
    pd_ = drift(pd_, compOn_ ? 1800 + freq_ * 9 : 1150 + ambient_ * 2, k, 6);
    ps_ = drift(ps_, compOn_ ? 650 - freq_ * 2 : 1150 + ambient_ * 2, k, 4);
    if (compOn_ && uniform() < dt / 45) pmvTarget_ = 120 + std::floor(uniform() * 36) * 10;
    if (!compOn_) pmvTarget_ = 0;
    pmv_ = drift(pmv_, pmvTarget_, std::min(1.0, dt / 8), 0);
    fan_ = drift(fan_, compOn_ ? 4 + 3 * (ambient_ > 30) : 0, std::min(1.0, dt / 20), 0);
    current1_ = drift(current1_, compOn_ ? 40 + freq_ * 1.2 : 2, std::min(1.0, dt / 10), 1);
    current2_ = drift(current2_, compOn_ ? 10 + fan_ * 3 : 1, std::min(1.0, dt / 10), 0.6);

    for (int i = 0; i < 4; ++i) {
        Slave& s = slave_[i];
        s.phaseLeft -= dt;
        if (s.phaseLeft <= 0) {
            s.on = i < slaves_ && compOn_ && !s.on;
            s.phaseLeft = 200 + uniform() * 800;
        }
        const double sl = s.on ? 1 : 0;
        s.td = drift(s.td, ambient_ + sl * 42, k, 0.3);
        s.ts = drift(s.ts, ambient_ - sl * 15, k, 0.2);
        s.toil = drift(s.toil, ambient_ + sl * 12, k / 3, 0.1);
        s.ps = drift(s.ps, s.on ? 600 : 1150 + ambient_ * 2, k, 4);
        s.pmv = drift(s.pmv, s.on ? 200 : 0, std::min(1.0, dt / 10), 0);
        if (s.on) s.runTime = static_cast<std::uint16_t>(s.runTime + whole);
        // Valves: 4-way valve in heating, SV valves follow the run state, the
        // oil balance valve opens for a while now and then.
        if (s.on && uniform() < dt / 600) s.oilbal = true;
        if (s.oilbal && uniform() < dt / 60) s.oilbal = false;
        s.outputs = static_cast<std::uint8_t>((s.oilbal ? 0x01 : 0) | (heating_ && s.on ? 0x02 : 0) |
                                              (s.on ? 0x0C : 0) | (s.on && s.ts < 0 ? 0x10 : 0) |
                                              (!s.on && toil_ < 20 ? 0x40 : 0) | (s.on ? 0x80 : 0));
    }

    if (opt_.faults) {
        if (faultLeft_ > 0) {
            faultLeft_ -= dt;
            if (faultLeft_ <= 0) faultByte_ = 0;
        } else {
            nextFaultIn_ -= dt;
            if (nextFaultIn_ <= 0) {
                const FaultKind& f = kFaults[random() % std::size(kFaults)];
                faultByte_ = f.byte;
                faultCode_ = f.bits;
                faultLeft_ = 20 + uniform() * 240;
                nextFaultIn_ = 900 + uniform() * 3600;
            }
        }
    }
}

void PlantModel::fillA5() {
    FrameData& d = a5_;
    d.fill(0);
    const int mode = heating_ ? 1 : 2;
    if (faultByte_ != 0) d[faultByte_] = faultCode_;
    d[6] = static_cast<std::uint8_t>((compOn_ && phaseLeft_ > 1200 ? 0x02 : 0) | (compOn_ ? 0x10 : 0));
    d[7] = static_cast<std::uint8_t>(compOn_ ? mode : 0);
    d[8] = static_cast<std::uint8_t>(mode);
    d[9] = clampByte(freq_);
    d[10] = clampByte(freq_ * 0.9);
    d[11] = 0;
    d[12] = heating_ ? 0x04 : 0x00;
    for (int k = 0; k < 4; ++k) {
        const Slave& s = slave_[k];
        const bool present = k < slaves_;
        std::uint8_t status = 0;
        if (present) {
            status = static_cast<std::uint8_t>((s.on ? 0x02 : 0x00) | (s.on ? 0x0C : 0x00) | (s.on ? 0x30 : 0x00) |
                                               (s.on ? 0x80 : 0x00));
        } else {
            status = 0x40;  // no communication
        }
        std::uint8_t ack = 0;
        if (present) ack = static_cast<std::uint8_t>((s.on ? 0x04 : 0x08) | (s.oilbal ? 0x80 : 0));
        d[static_cast<std::size_t>(13 + 2 * k)] = status;
        d[static_cast<std::size_t>(14 + 2 * k)] = ack;
    }
    d[21] = pd_ > 2600 ? 0x01 : 0;
    d[22] = compOn_ ? 1 : 0;
    d[23] = static_cast<std::uint8_t>(!compOn_ ? 0x10 : 0);
    d[24] = clampByte(freq_ / 10);
    d[25] = freq_ > 85 ? 0x40 : 0;
    d[26] = slave_[0].oilbal ? 0x08 : 0;
    putWord(d, 27, pmv_);
    putWord(d, 29, pmvTarget_);
    putWord(d, 31, ps_);
    putWord(d, 33, pd_);
    d[35] = clampByte(current1_);  // tenths of an ampere
    d[36] = clampByte(current2_);
    d[37] = tempByte(pd_ / 40 + 10);
    d[38] = tempByte(ps_ / 80 - 5);
    putWord(d, 39, onOffTime_);
    d[43] = compOn_ ? 0 : 1;
    d[44] = clampByte(fan_);
    d[45] = clampByte(freq_);
    putWord(d, 46, compOn_ ? 50 + 50.0 * (slaves_ * 0.25) : 0);
    d[48] = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp(std::lround(ts_ - te_), -128L, 127L)));
    d[49] = static_cast<std::uint8_t>(std::clamp(std::lround(freq_ / 12), 0L, 127L));
    putWord(d, 50, slave_[0].runTime);
    putWord(d, 52, slave_[1].runTime);
    putWord(d, 54, onOffTime_ / 2);
    putWord(d, 56, slave_[0].pmv);
    putWord(d, 58, slave_[1].pmv);
}

void PlantModel::fill5A() {
    FrameData& d = x5a_;
    d.fill(0);
    d[0] = static_cast<std::uint8_t>((compOn_ ? 0x01 : 0) | (compOn_ ? 0x20 : 0) | (compOn_ && td_ > 80 ? 0x04 : 0) |
                                     (!compOn_ && toil_ < 25 ? 0x08 : 0) | (slave_[0].oilbal ? 0x10 : 0) |
                                     (compOn_ ? 0x40 : 0) | (heating_ ? 0x80 : 0));
    d[1] = slave_[0].oilbal ? 0x01 : 0;
    d[2] = slave_[0].outputs;
    d[4] = slave_[1].outputs;
    d[6] = slave_[2].outputs;
    d[8] = slave_[3].outputs;
    putWord(d, 10, pmvTarget_);
    putWord(d, 12, pmv_);
    putWord(d, 14, pmv_);
    d[16] = clampByte(freq_ / 2);
    d[17] = clampByte(freq_ / 2);
    d[18] = clampByte(freq_ / 3);
    d[19] = tempByte(td_);
    d[20] = tempByte(ts_);
    d[21] = tempByte(toil_);
    d[22] = tempByte(ambient_);
    d[23] = tempByte(te_);
    d[24] = tempByte(tk_[0]);
    d[25] = tempByte(tk_[1]);
    d[26] = tempByte(tk_[2]);
    for (int k = 0; k < 4; ++k) {
        const Slave& s = slave_[k];
        const std::size_t at = static_cast<std::size_t>(27 + 5 * k);
        if (k >= slaves_) continue;  // an absent slave sends zeros
        d[at] = slavePressureByte(s.ps);
        d[at + 1] = tempByte(s.td);
        d[at + 2] = tempByte(s.ts);
        d[at + 3] = static_cast<std::uint8_t>((s.ps < 500 ? 0x80 : 0) | (s.oilbal ? 0x40 : 0));
        d[at + 4] = tempByte(s.toil);
    }
    d[47] = clampByte(fan_);
    d[48] = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp(std::lround(td_ - pd_ / 40), -128L, 127L)));
    d[49] = static_cast<std::uint8_t>((!compOn_ && ambient_ < 5 ? 0x20 : 0));
    putWord(d, 50, slave_[2].runTime);
    putWord(d, 52, slave_[3].runTime);
    putWord(d, 56, slave_[2].pmv);
    putWord(d, 58, slave_[3].pmv);
}

std::vector<std::uint8_t> PlantModel::nextFrame() {
    std::vector<std::uint8_t> out;
    out.reserve(70);
    appendNextFrame(out);
    return out;
}

void PlantModel::appendNextFrame(std::vector<std::uint8_t>& out) {
    const bool isA5 = frames_ % 2 == 0;
    step(kFrameSeconds);
    if (uniform() < opt_.noiseChance) {
        const int n = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(random()));
    }
    const std::size_t start = out.size();
    if (isA5) {
        fillA5();
    } else {
        fill5A();
    }
    const auto f = buildFrame(isA5 ? 0xA5 : 0x5A, isA5 ? a5_ : x5a_);
    out.insert(out.end(), f.begin(), f.end());
    if (uniform() < opt_.corruptChance) {
        // A flipped bit somewhere after the start byte.
        out[start + 1 + random() % 62] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        ++corrupted_;
    }
    ++frames_;
}

}  // namespace orlix
