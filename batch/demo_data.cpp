// quarvent-demo-data: writes synthetic SEG-2 shot records for demonstrations and benchmarks.
//
//   quarvent-demo-data DIR                  three small shots, data formats 1, 2 and 4
//   quarvent-demo-data DIR --megabytes N    shots in formats 1, 2 and 4 in turn, 24 to 96
//                                           traces of 2000 to 4000 samples, until the
//                                           files hold at least N megabytes
//   quarvent-demo-data DIR --shots N --format F --traces T --samples S
//                                           N shots alike: T traces of S samples in data
//                                           format F (1, 2, 3 or 4)
//
// Each shot is a spread of geophones 2 m apart with the source 1 m before the first: a
// refracted first arrival, slower ground roll and background noise, with the header strings
// a field seismograph writes. The files are named shotNNNN.sg2.

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "batch/seg2_writer.hpp"
#include "common/bytes.hpp"

namespace {

using quarvent::Seg2FileOut;
using quarvent::Seg2TraceOut;

struct ShotPlan {
    int number = 1;
    std::uint8_t format_code = 4;
    int traces = 24;
    int samples = 2000;
    double interval_s = 0.00025;
};

// A small fixed generator, so that every run writes the same files.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    // Roughly normal, mean 0, deviation 1.
    double next() {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) sum += uniform();
        return (sum - 2.0) * std::sqrt(3.0);
    }

private:
    double uniform() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<double>(state_ >> 11) * (1.0 / 9007199254740992.0);
    }
    std::uint64_t state_;
};

double ricker(double tau, double frequency) {
    const double a = std::numbers::pi * frequency * tau;
    return (1.0 - 2.0 * a * a) * std::exp(-a * a);
}

// Adds a wavelet centred on time t0 to the trace.
void add_wavelet(std::vector<double>& trace, double interval_s, double t0, double frequency,
                 double amplitude) {
    const double half_width = 1.5 / frequency;
    const auto first = static_cast<long>(std::floor((t0 - half_width) / interval_s));
    const auto last = static_cast<long>(std::ceil((t0 + half_width) / interval_s));
    for (long k = std::max(0L, first); k <= last && k < static_cast<long>(trace.size()); ++k) {
        trace[static_cast<std::size_t>(k)] +=
            amplitude * ricker(static_cast<double>(k) * interval_s - t0, frequency);
    }
}

// Ground motion in units of full scale (about -1 .. 1) at receiver offset x metres.
std::vector<double> synthetic_trace(const ShotPlan& plan, double x, Noise& noise) {
    std::vector<double> trace(static_cast<std::size_t>(plan.samples));
    for (double& sample : trace) sample = 0.004 * noise.next();
    const double direct = x / 450.0;
    const double refracted = x / 1850.0 + 0.018;
    add_wavelet(trace, plan.interval_s, 0.004 + std::min(direct, refracted), 70.0,
                0.6 / (1.0 + x / 8.0));
    add_wavelet(trace, plan.interval_s, 0.01 + x / 230.0, 18.0, 0.35 / (1.0 + x / 25.0));
    add_wavelet(trace, plan.interval_s, 0.01 + x / 230.0 + 0.03, 14.0, -0.2 / (1.0 + x / 25.0));
    return trace;
}

// Samples in the 20-bit packed format: groups of four under one word of 4-bit exponents,
// each a one's-complement 16-bit mantissa times 2^exponent, from values scaled to 24 bits.
void append_20_bit(std::vector<std::uint8_t>& data, const std::vector<double>& trace) {
    for (std::size_t g = 0; g < trace.size(); g += 4) {
        std::uint16_t exponents = 0;
        std::uint16_t mantissas[4] = {};
        for (std::size_t i = 0; i < 4 && g + i < trace.size(); ++i) {
            long value = std::lround(std::clamp(trace[g + i], -1.0, 1.0) * 8388607);
            unsigned exponent = 0;
            while (value > 32767 || value < -32767) {
                value /= 2;
                ++exponent;
            }
            exponents = static_cast<std::uint16_t>(exponents | (exponent << (4 * i)));
            mantissas[i] = static_cast<std::uint16_t>(value < 0 ? value - 1 : value);
        }
        quarvent::append_le_u16(data, exponents);
        for (const std::uint16_t mantissa : mantissas) quarvent::append_le_u16(data, mantissa);
    }
    // A trace ends after 5 * n / 2 bytes, rounded halves to even.
    std::size_t bytes = 5 * trace.size() / 2;
    if ((5 * trace.size()) % 2 != 0 && bytes % 2 != 0) ++bytes;
    data.resize(bytes);
}

// The data block, and the descaling factor that turns its values into millivolts.
std::vector<std::uint8_t> data_block(const ShotPlan& plan, const std::vector<double>& trace,
                                     double& descaling) {
    std::vector<std::uint8_t> data;
    switch (plan.format_code) {
        case 1:
            descaling = 2500.0 / 32767.0;
            for (double v : trace) {
                quarvent::append_le_i16(
                    data, static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767)));
            }
            break;
        case 2:
            descaling = 2500.0 / 8388607.0;
            for (double v : trace) {
                quarvent::append_le_i32(data, static_cast<std::int32_t>(
                                                  std::lround(std::clamp(v, -1.0, 1.0) * 8388607)));
            }
            break;
        case 3:
            descaling = 2500.0 / 8388607.0;
            append_20_bit(data, trace);
            break;
        default:
            descaling = 2500.0;
            for (double v : trace) quarvent::append_le_f32(data, static_cast<float>(v));
            break;
    }
    return data;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string scientific(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6E", value);
    return text;
}

Seg2FileOut shot_file(const ShotPlan& plan) {
    static constexpr const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                             "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const int minute_of_day = 8 * 60 + 30 + 3 * plan.number;
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", minute_of_day / 60 % 24, minute_of_day % 60,
                  (17 * plan.number) % 60);
    char date[16];
    std::snprintf(date, sizeof date, "%02d/%s/2024", 1 + plan.number / 40 % 28,
                  months[plan.number / 1120 % 12]);

    Seg2FileOut file;
    file.strings = {
        std::string("ACQUISITION_DATE ") + date,
        std::string("ACQUISITION_TIME ") + time,
        "CLIENT Demo Survey",
        "COMPANY Demo Geophysics",
        "INSTRUMENT Demo seismograph 24-bit",
        "JOB_ID DEMO-2024-07",
        "OBSERVER Field crew 2",
        "TRACE_SORT AS_ACQUIRED",
        "UNITS METERS",
        "NOTE Synthetic shot record for demonstrations, not field data",
    };

    Noise noise(static_cast<std::uint64_t>(plan.number));
    const double source_position = -1.0;
    for (int channel = 1; channel <= plan.traces; ++channel) {
        const double receiver_position = 2.0 * (channel - 1);
        const double offset = receiver_position - source_position;
        double descaling = 1.0;
        Seg2TraceOut trace;
        trace.format_code = plan.format_code;
        trace.sample_count = plan.samples;
        trace.data = data_block(plan, synthetic_trace(plan, offset, noise), descaling);
        trace.strings = {
            "CHANNEL_NUMBER " + std::to_string(channel),
            "DELAY 0.000",
            "DESCALING_FACTOR " + scientific(descaling),
            "FIXED_GAIN 24",
            "ALIAS_FILTER " + fixed(0.4 / plan.interval_s, 0) + " 24",
            "NOTCH_FREQUENCY 0",
            "RECEIVER_LOCATION " + fixed(receiver_position, 2),
            "SOURCE_LOCATION " + fixed(source_position, 2),
            "SAMPLE_INTERVAL " + fixed(plan.interval_s, 6),
            "SHOT_SEQUENCE_NUMBER " + std::to_string(plan.number),
            "STACK 1",
        };
        file.traces.push_back(std::move(trace));
    }
    return file;
}

bool write_shot(const std::filesystem::path& dir, const ShotPlan& plan, std::uint64_t& bytes) {
    char name[32];
    std::snprintf(name, sizeof name, "shot%04d.sg2", plan.number);
    const std::filesystem::path path = dir / name;
    const std::vector<std::uint8_t> contents = quarvent::seg2_file_bytes(shot_file(plan));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(contents.data()),
              static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "quarvent-demo-data: cannot write %s\n", path.c_str());
        return false;
    }
    bytes += contents.size();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes synthetic SEG-2 shot records."};
    app.name("quarvent-demo-data");
    std::string dir;
    double megabytes = 0.0;
    app.add_option("DIR", dir, "Directory for the files (created when absent)")->required();
    app.add_option("--megabytes", megabytes, "Write shots until they hold this many megabytes");
    int shots = 0;
    ShotPlan alike;
    app.add_option("--shots", shots, "Write this many shots alike instead");
    app.add_option("--format", alike.format_code, "Data format of --shots: 1, 2, 3 or 4")
        ->check(CLI::IsMember({1, 2, 3, 4}));
    app.add_option("--traces", alike.traces, "Traces in each of --shots")
        ->check(CLI::Range(1, 9999));
    app.add_option("--samples", alike.samples, "Samples in each trace of --shots")
        ->check(CLI::Range(1, 65535));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "quarvent-demo-data: cannot create %s: %s\n", dir.c_str(),
                     error.message().c_str());
        return 1;
    }

    std::uint64_t bytes = 0;
    if (shots > 0) {
        for (int i = 0; i < shots; ++i) {
            alike.number = 1 + i;
            if (!write_shot(dir, alike, bytes)) return 1;
        }
        std::printf("%llu bytes\n", static_cast<unsigned long long>(bytes));
        return 0;
    }
    if (megabytes <= 0.0) {
        const ShotPlan demo[] = {{1001, 1, 24, 2000, 0.00025},
                                 {1002, 2, 24, 2000, 0.00025},
                                 {1003, 4, 48, 3000, 0.000125}};
        for (const ShotPlan& plan : demo) {
            if (!write_shot(dir, plan, bytes)) return 1;
        }
        return 0;
    }

    static constexpr std::uint8_t formats[] = {1, 2, 4};
    static constexpr int trace_counts[] = {24, 48, 72, 96};
    static constexpr int sample_counts[] = {2000, 2500, 3000, 4000};
    static constexpr double intervals[] = {0.00025, 0.0005, 0.000125};
    const auto wanted = static_cast<std::uint64_t>(megabytes * 1024.0 * 1024.0);
    for (int i = 0; bytes < wanted; ++i) {
        const ShotPlan plan{1 + i, formats[i % 3], trace_counts[(i / 3) % 4],
                            sample_counts[(i / 2) % 4], intervals[(i / 5) % 3]};
        if (!write_shot(dir, plan, bytes)) return 1;
    }
    std::printf("%llu bytes\n", static_cast<unsigned long long>(bytes));
    return 0;
}
