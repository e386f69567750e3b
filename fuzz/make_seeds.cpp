// Writes the fuzz targets' seed corpora: small SEG-2 files, well-formed and damaged, keyword
// files and number texts. It has its own little SEG-2 writer, apart from the engine and the
// test builder, so that a fault in either cannot shape the seeds.
//
//   make_seeds OUTPUT_DIRECTORY
//
// writes OUTPUT_DIRECTORY/{seg2,run,keywords,numbers}/<name>. Run seeds are a SEG-2 file
// after an eight-byte option block (see conversion_run_fuzz.cpp).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void set32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A string list: each string with its terminating zero, padded to an even length, then the
// zero length word that ends the list.
Bytes string_list(const std::vector<std::string>& strings) {
    Bytes out;
    for (const std::string& s : strings) {
        std::size_t body = s.size() + 1;
        if (body % 2 != 0) ++body;
        put16(out, static_cast<std::uint32_t>(body + 2));
        out.insert(out.end(), s.begin(), s.end());
        out.resize(out.size() + (body - s.size()), 0);
    }
    put16(out, 0);
    return out;
}

struct Trace {
    std::uint16_t id = 0x4422;
    std::uint8_t format = 4;
    std::int32_t samples = 0;
    std::vector<std::string> strings;
    Bytes data;
    std::optional<std::uint16_t> block_size;
};

struct File {
    std::vector<std::string> strings;
    std::vector<Trace> traces;
    std::optional<std::uint16_t> pointer_block_size;
    std::optional<std::int16_t> trace_count;
    // Trace indices written into the pointer slots instead of 0, 1, 2, ...; -1 writes a
    // pointer past the end of the file.
    std::optional<std::vector<int>> slots;
};

Bytes build(const File& file) {
    const std::size_t slot_count =
        file.slots ? file.slots->size()
                   : (file.pointer_block_size ? *file.pointer_block_size / 4 : file.traces.size());
    Bytes out;
    put16(out, 0x3A55);
    put16(out, 1);
    put16(out, file.pointer_block_size.value_or(static_cast<std::uint16_t>(4 * slot_count)));
    put16(out, static_cast<std::uint16_t>(
                   file.trace_count.value_or(static_cast<std::int16_t>(file.traces.size()))));
    const std::uint8_t terminators[6] = {1, 0, 0, 2, 0x0D, 0x0A};
    out.insert(out.end(), terminators, terminators + 6);
    out.resize(32, 0);
    const std::size_t table = out.size();
    out.resize(table + 4 * slot_count, 0);
    const Bytes file_strings = string_list(file.strings);
    out.insert(out.end(), file_strings.begin(), file_strings.end());

    std::vector<std::uint32_t> offsets;
    for (const Trace& trace : file.traces) {
        while (out.size() % 4 != 0) out.push_back(0);
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        const Bytes strings = string_list(trace.strings);
        std::size_t block = 32 + strings.size();
        block = (block + 3) / 4 * 4;
        put16(out, trace.id);
        put16(out, trace.block_size.value_or(static_cast<std::uint16_t>(block)));
        put32(out, static_cast<std::uint32_t>(trace.data.size()));
        put32(out, static_cast<std::uint32_t>(trace.samples));
        out.push_back(trace.format);
        out.resize(out.size() + 19, 0);
        out.insert(out.end(), strings.begin(), strings.end());
        out.resize(offsets.back() + block, 0);
        out.insert(out.end(), trace.data.begin(), trace.data.end());
    }
    for (std::size_t slot = 0; slot < slot_count; ++slot) {
        int index = static_cast<int>(slot);
        if (file.slots) index = (*file.slots)[slot];
        std::uint32_t pointer = 0;
        if (index < 0) {
            pointer = static_cast<std::uint32_t>(out.size() + 1000);
        } else if (static_cast<std::size_t>(index) < offsets.size()) {
            pointer = offsets[static_cast<std::size_t>(index)];
        }
        set32(out, table + 4 * slot, pointer);
    }
    return out;
}

double wave(int k) { return std::sin(0.05 * k) * std::exp(-0.002 * k); }

Trace trace_of_format(std::uint8_t format, int samples, std::vector<std::string> strings) {
    Trace trace;
    trace.format = format;
    trace.samples = samples;
    trace.strings = std::move(strings);
    for (int k = 0; k < samples; ++k) {
        const double x = wave(k);
        switch (format) {
            case 1:
                put16(trace.data, static_cast<std::uint16_t>(static_cast<int>(x * 30000)));
                break;
            case 2:
                put32(trace.data, static_cast<std::uint32_t>(static_cast<int>(x * 2e9)));
                break;
            case 4: {
                const auto f = static_cast<float>(x);
                std::uint32_t bits = 0;
                std::memcpy(&bits, &f, 4);
                put32(trace.data, bits);
                break;
            }
            case 5: {
                std::uint64_t bits = 0;
                std::memcpy(&bits, &x, 8);
                put32(trace.data, static_cast<std::uint32_t>(bits));
                put32(trace.data, static_cast<std::uint32_t>(bits >> 32));
                break;
            }
            default:
                break;
        }
    }
    if (format == 3) {
        // Groups of four samples: a word of four exponents, then four mantissas.
        for (int k = 0; k < samples; k += 4) {
            put16(trace.data, 0x3210);
            for (int j = 0; j < 4; ++j) {
                put16(trace.data,
                      static_cast<std::uint16_t>(static_cast<int>(wave(k + j) * 16000) & 0x7FFF));
            }
        }
        // 5n/2 bytes, halves to even.
        const double exact = 2.5 * samples;
        auto bytes = static_cast<std::size_t>(std::nearbyint(exact));
        trace.data.resize(bytes);
    }
    return trace;
}

std::vector<std::string> trace_strings(int channel, const char* interval = "0.00025") {
    std::vector<std::string> strings = {
        "CHANNEL_NUMBER " + std::to_string(channel),
        "DELAY 0.0",
        "RECEIVER_LOCATION " + std::to_string(2 * channel) + ".0 0.0 0.0",
        "SOURCE_LOCATION -1.0 0.0 0.0",
        "STACK 1",
        "TRACE_TYPE SEISMIC_DATA",
    };
    if (interval != nullptr) strings.push_back(std::string("SAMPLE_INTERVAL ") + interval);
    return strings;
}

const std::vector<std::string> file_strings = {
    "ACQUISITION_DATE 07/MAR/2018",
    "ACQUISITION_TIME 03:12:45",
    "INSTRUMENT QUARVENT SEED 1",
    "TRACE_SORT AS_ACQUIRED",
    "UNITS METERS",
    "NOTE",
};

struct Seed {
    std::string name;
    Bytes bytes;
};

std::vector<Seed> seg2_seeds() {
    std::vector<Seed> seeds;
    for (std::uint8_t format = 1; format <= 5; ++format) {
        File file;
        file.strings = file_strings;
        for (int t = 1; t <= 3; ++t)
            file.traces.push_back(trace_of_format(format, 64 + t, trace_strings(t)));
        seeds.push_back({"format" + std::to_string(format) + ".sg2", build(file)});
    }

    File shot;
    shot.strings = file_strings;
    for (int t = 1; t <= 24; ++t) shot.traces.push_back(trace_of_format(2, 200, trace_strings(t)));
    const Bytes shot_bytes = build(shot);
    seeds.push_back({"shot24.sg2", shot_bytes});
    for (const std::size_t cut : {1, 2, 10, 31, 32, 40, 100, 200, 500, 1000, 3000}) {
        if (cut < shot_bytes.size()) {
            seeds.push_back(
                {"shot24-cut" + std::to_string(cut) + ".sg2",
                 Bytes(shot_bytes.begin(), shot_bytes.begin() + static_cast<long>(cut))});
        }
    }

    File no_interval;
    for (int t = 1; t <= 2; ++t)
        no_interval.traces.push_back(trace_of_format(1, 50, trace_strings(t, nullptr)));
    seeds.push_back({"no-interval.sg2", build(no_interval)});

    File scaled;
    scaled.traces.push_back(
        trace_of_format(4, 40, {"DESCALING_FACTOR 2.5", "SAMPLE_INTERVAL 0.001"}));
    scaled.traces.push_back(trace_of_format(4, 40, {"QVF_SCALE 1E39", "SAMPLE_INTERVAL 0.001"}));
    scaled.traces.push_back(trace_of_format(2, 40, {"CHANNEL_NUMBER 0"}));
    seeds.push_back({"scaled.sg2", build(scaled)});

    File keyword_errors;
    keyword_errors.traces.push_back(
        trace_of_format(1, 8, {"QVF_ILLEGAL 1", "QVF_BIG 1", "SAMPLE_INTERVAL 0.5"}));
    keyword_errors.traces.push_back(trace_of_format(1, 8, {"QVF_LIST 1 2 3 4"}));
    keyword_errors.traces.push_back(trace_of_format(1, 8, {"QVF_WORD 5"}));
    seeds.push_back({"keyword-errors.sg2", build(keyword_errors)});

    File spare_slots;
    spare_slots.strings = {"NOTE spare pointer slots"};
    spare_slots.traces.push_back(trace_of_format(4, 16, trace_strings(1)));
    spare_slots.pointer_block_size = 4 * 3 + 2;  // M = 14: P = 4 (3.5 rounds to 4), N = 1
    spare_slots.slots = std::vector<int>{0, 0, 0, 0};
    seeds.push_back({"spare-slots.sg2", build(spare_slots)});

    File negative_count = spare_slots;
    negative_count.trace_count = -3;
    seeds.push_back({"negative-count.sg2", build(negative_count)});

    File empty;
    empty.strings = file_strings;
    seeds.push_back({"no-traces.sg2", build(empty)});

    File shortage;
    shortage.traces.push_back(trace_of_format(1, 8, trace_strings(1)));
    shortage.traces.push_back(trace_of_format(1, 8, trace_strings(2)));
    shortage.pointer_block_size = 6;  // M / 4 = 1.5 < 2
    shortage.slots = std::vector<int>{0, 1};
    seeds.push_back({"pointer-shortage.sg2", build(shortage)});

    File odd_pointers;
    for (int t = 1; t <= 4; ++t)
        odd_pointers.traces.push_back(trace_of_format(1, 12, trace_strings(t)));
    odd_pointers.traces[1].id = 0x2244;  // big-endian trace identifier
    odd_pointers.traces[2].block_size = 20;
    odd_pointers.slots = std::vector<int>{3, 1, 2, 0, 0, -1};
    odd_pointers.trace_count = 6;
    seeds.push_back({"odd-pointers.sg2", build(odd_pointers)});

    // Length words 1 and 0x8000 end a list early.
    File length_words;
    length_words.traces.push_back(trace_of_format(2, 10, trace_strings(1)));
    Bytes lw = build(length_words);
    const std::size_t file_list = 32 + 4;
    lw[file_list] = 1;
    lw[file_list + 1] = 0;
    seeds.push_back({"length-word-1.sg2", lw});
    lw[file_list] = 0;
    lw[file_list + 1] = 0x80;
    seeds.push_back({"length-word-8000.sg2", lw});

    File too_long;
    too_long.traces.push_back(trace_of_format(1, 32768, {"SAMPLE_INTERVAL 0.0005"}));
    seeds.push_back({"int16-32768.sg2", build(too_long)});

    Bytes big_endian = build(length_words);
    big_endian[0] = 0x3A;
    big_endian[1] = 0x55;
    seeds.push_back({"big-endian.sg2", big_endian});
    return seeds;
}

// The run target's option block: 'O', flags, SSN (16 bits), record_end_ms (float), unused.
Bytes options(std::uint8_t flags, std::int16_t ssn, float record_end_ms) {
    Bytes out = {'O', flags};
    put16(out, static_cast<std::uint16_t>(ssn));
    std::uint32_t bits = 0;
    std::memcpy(&bits, &record_end_ms, 4);
    put16(out, bits & 0xFFFF);
    put16(out, bits >> 16);
    out.resize(8, 0);
    return out;
}

std::vector<Seed> run_seeds(const std::vector<Seed>& seg2) {
    struct Variant {
        const char* name;
        std::uint8_t flags;
        std::int16_t ssn;
        float record_end_ms;
    };
    // flags: bits 0-1 resample factor 1, 2, 4 or the invalid 3; bit 2 delete inputs; bit 3 an
    // output that already holds a record; bit 4 an input name with digits; bits 5-7 the
    // answer to the sample interval prompt.
    const Variant variants[] = {
        {"plain", 0x00, 1, 0.0F},
        {"factor2-delete", 0x05, 100, 0.0F},
        {"factor4-append-digits", 0x1A, -5, 10.0F},
        {"short-records-no-answer", 0x24, 32767, 5.0F},
        {"negative-length", 0x41, 7, -3.0F},
    };
    std::vector<Seed> seeds;
    for (const Seed& seed : seg2) {
        for (const Variant& variant : variants) {
            Bytes bytes = options(variant.flags, variant.ssn, variant.record_end_ms);
            bytes.insert(bytes.end(), seed.bytes.begin(), seed.bytes.end());
            seeds.push_back({std::string(variant.name) + "-" + seed.name, bytes});
        }
    }
    return seeds;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::vector<Seed> keyword_seeds() {
    return {
        {"small.rd", text("* comment\r\nSAMPLE_INTERVAL 1 59 1000000 \r\nCHANNEL_NUMBER 1 8 1\r\n"
                          "SOURCE_LOCATION 3 36 1 \r\nTRACE_TYPE 4 15\r\nTRACE_SORT 2 91\r\n"
                          "DESCALING_FACTOR 5 1\r\nNOTE 0\r\n")},
        {"short-lines.rd", text("K 5\r\nK 5 \r\nK  1 12\r\nK 2.5 3.5 \r\nK\t1 12\r\n\r\n")},
        {"errors.rd", text("K 1 121 1\r\nL 3 118 2\r\nM 40000 1\r\n")},
        {"parameters.rd", text("K 1 2 3 4 5 6 7 8 9 10 11 12 13\nK 1 1e10\n* x\n")},
        {"lf-only.rd", text("A 1 1 1\nB 0\n C 9\n*\n")},
        {"no-line-end.rd", text("SAMPLE_INTERVAL 1 59 1000000")},
        {"lone-cr.rd", text("A 1 1 1\r\n\r")},
    };
}

std::vector<Seed> number_seeds() {
    const char* texts[] = {"12abc",
                           "abc",
                           "7.5",
                           "6.5",
                           " - 1 2 . 5 e 1",
                           "1e400",
                           "-1e-400",
                           "4.9e-324",
                           "2.5",
                           "+.5E+3",
                           "1.7976931348623157e308",
                           "0.0000001e-7",
                           "32767.5",
                           "-32768.5",
                           "2147483647.5",
                           "1.",
                           ".",
                           "e5",
                           "1e",
                           "\t\n9"};
    std::vector<Seed> seeds;
    int i = 0;
    for (const char* t : texts) seeds.push_back({"number" + std::to_string(++i), text(t)});
    return seeds;
}

bool write_all(const std::filesystem::path& dir, const std::vector<Seed>& seeds) {
    std::filesystem::create_directories(dir);
    for (const Seed& seed : seeds) {
        std::ofstream out(dir / seed.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(seed.bytes.data()),
                  static_cast<std::streamsize>(seed.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "make_seeds: cannot write %s\n", (dir / seed.name).c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUTPUT_DIRECTORY\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    const std::vector<Seed> seg2 = seg2_seeds();
    const bool ok = write_all(out / "seg2", seg2) && write_all(out / "run", run_seeds(seg2)) &&
                    write_all(out / "keywords", keyword_seeds()) &&
                    write_all(out / "numbers", number_seeds());
    return ok ? 0 : 1;
}
