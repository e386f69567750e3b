#include "engine/seg2_reader.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/bytes.hpp"
#include "tests/support/enum_printing.hpp"
#include "tests/support/seg2_builder.hpp"

namespace quarvent {
namespace {

using ::testing::ElementsAre;
using testing::Seg2Builder;
using testing::Seg2Trace;

// Keeps every string it is given; a string equal to stop_at asks for the run to stop, and
// "SCALE x" sets the scale factor to x.
class RecordingReceiver final : public HeaderStringReceiver {
public:
    std::vector<std::string> strings;
    std::string stop_at = "\x01never";

    Result header_string(std::string_view s, OutputTraceHeader&, double& scale) override {
        strings.emplace_back(s);
        if (s.starts_with("SCALE ")) scale = std::stod(std::string(s.substr(6)));
        return s == stop_at ? Result::stop_run : Result::go_on;
    }
};

struct ReaderFixture {
    RecordingReceiver receiver;
    OutputTraceHeader header;
    double scale = 1.0;
    HeaderStringSink sink{receiver, header, scale};
};

// The same bytes without showing them in memory: the reader then copies its fields out
// through read_at, as it does for a large file.
class CopyingSource final : public ByteSource {
public:
    explicit CopyingSource(std::span<const std::uint8_t> bytes) : memory_(bytes) {}
    std::uint64_t size() const override { return memory_.size(); }
    bool read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        return memory_.read_at(offset, out);
    }

private:
    MemorySource memory_;
};

// Runs read on the bytes held in memory and through read_at alone.
template <typename Read>
void with_each_source(const std::vector<std::uint8_t>& bytes, Read read) {
    {
        SCOPED_TRACE("in memory");
        const MemorySource memory(bytes);
        read(static_cast<const ByteSource&>(memory));
    }
    {
        SCOPED_TRACE("through read_at");
        const CopyingSource copying(bytes);
        read(static_cast<const ByteSource&>(copying));
    }
}

// A string as the receiver sees it: the text and its terminating zero.
std::string z(std::string_view text) { return std::string(text) + '\0'; }

std::vector<std::uint8_t> length_word(std::uint16_t value) {
    std::vector<std::uint8_t> out;
    append_le_u16(out, value);
    return out;
}

Seg2Builder three_trace_file() {
    Seg2Builder file;
    file.file_string("ACQUISITION_DATE 07/MAR/2018");
    file.add_trace(Seg2Trace::float32({1, 2}).with_string("CHANNEL_NUMBER 1"));
    file.add_trace(Seg2Trace::int16({3, 4, 5}).with_string("CHANNEL_NUMBER 2"));
    file.add_trace(Seg2Trace::int32({6}).with_string("CHANNEL_NUMBER 3"));
    return file;
}

TEST(seg2_reader, file_descriptor_results) {
    struct Case {
        const char* name;
        std::function<std::vector<std::uint8_t>()> bytes;
        FileDescriptorResult expected;
        std::size_t pointer_slots;
        std::vector<std::string> file_strings;
    };
    const auto with = [](std::function<void(Seg2Builder&)> change) {
        return [change] {
            Seg2Builder file = three_trace_file();
            change(file);
            return file.build();
        };
    };
    const std::vector<Case> cases = {
        {"well formed",
         with([](Seg2Builder&) {}),
         FileDescriptorResult::read,
         3,
         {z("ACQUISITION_DATE 07/MAR/2018")}},
        {"big-endian identifier",
         with([](Seg2Builder& f) { f.block_id = 0x553A; }),
         FileDescriptorResult::not_seg2,
         0,
         {}},
        {"other identifier",
         with([](Seg2Builder& f) { f.block_id = 0x4422; }),
         FileDescriptorResult::not_seg2,
         0,
         {}},
        {"empty file",
         [] { return std::vector<std::uint8_t>{}; },
         FileDescriptorResult::not_seg2,
         0,
         {}},
        {"identifier only",
         [] {
             return std::vector<std::uint8_t>{0x55, 0x3A};
         },
         FileDescriptorResult::not_seg2,
         0,
         {}},
        {"M = 4N - 2",
         with([](Seg2Builder& f) { f.pointer_block_size = 10; }),
         FileDescriptorResult::pointer_shortage,
         0,
         {}},
        {"M = 4N - 4",
         with([](Seg2Builder& f) { f.pointer_block_size = 8; }),
         FileDescriptorResult::pointer_shortage,
         0,
         {}},
        {"M = 4N + 2 reads the rounded slot count (3.5 -> 4)",
         [] {
             Seg2Builder f = three_trace_file();
             f.pointer_block_size = 16;
             auto bytes = f.build();
             bytes[4] = 14;
             return bytes;
         },
         FileDescriptorResult::read,
         4,
         {z("ACQUISITION_DATE 07/MAR/2018")}},
        {"P > N: extra slots read, strings after them",
         with([](Seg2Builder& f) { f.pointer_block_size = 40; }),
         FileDescriptorResult::read,
         10,
         {z("ACQUISITION_DATE 07/MAR/2018")}},
        {"negative N passes whatever M holds",
         with([](Seg2Builder& f) {
             f.trace_count = -5;
             f.pointer_block_size = 0;
         }),
         FileDescriptorResult::read,
         0,
         {z("ACQUISITION_DATE 07/MAR/2018")}},
        {"N = 0 and M = 0",
         [] {
             Seg2Builder f;
             f.file_string("NOTE empty");
             return f.build();
         },
         FileDescriptorResult::read,
         0,
         {z("NOTE empty")}},
        {"file strings run past the end",
         [] {
             auto bytes = three_trace_file().build();
             bytes.resize(32 + 12 + 10);
             return bytes;
         },
         FileDescriptorResult::not_seg2,
         3,
         {}},
        {"pointer table runs past the end",
         [] {
             auto bytes = three_trace_file().build();
             bytes.resize(32 + 7);
             return bytes;
         },
         FileDescriptorResult::not_seg2,
         0,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        with_each_source(c.bytes(), [&](const ByteSource& input) {
            ReaderFixture fx;
            FileDescriptor file;
            EXPECT_EQ(read_file_descriptor(input, file, fx.sink), c.expected);
            EXPECT_EQ(file.trace_pointers.size(), c.pointer_slots);
            EXPECT_EQ(fx.receiver.strings, c.file_strings);
        });
    }
}

TEST(seg2_reader, string_list_length_words) {
    struct Case {
        const char* name;
        std::vector<std::vector<std::uint8_t>> parts;
        StringListResult expected;
        std::vector<std::string> strings;
    };
    const std::vector<std::uint8_t> abc = {'A', 'B', 'C', 0};
    const std::vector<Case> cases = {
        {"length 2 is an empty string",
         {length_word(2), length_word(6), abc, length_word(0)},
         StringListResult::ended,
         {"", z("ABC")}},
        {"length 0 ends",
         {length_word(6), abc, length_word(0), length_word(6), abc},
         StringListResult::ended,
         {z("ABC")}},
        {"length 0x8000 ends",
         {length_word(6), abc, length_word(0x8000), length_word(6), abc},
         StringListResult::ended,
         {z("ABC")}},
        {"length 0xFFFF ends",
         {length_word(0xFFFF), length_word(6), abc},
         StringListResult::ended,
         {}},
        {"length 1 ends",
         {length_word(6), abc, length_word(1), length_word(6), abc},
         StringListResult::ended,
         {z("ABC")}},
        {"padding is part of the string",
         {length_word(8), abc, {0, 0}, length_word(0)},
         StringListResult::ended,
         {z("ABC") + std::string(2, '\0')}},
        {"string runs past the end: nothing handed over",
         {length_word(6), abc, length_word(9), abc},
         StringListResult::truncated,
         {}},
        {"no terminating word", {length_word(6), abc}, StringListResult::truncated, {}},
        {"half a terminating word", {length_word(6), abc, {0}}, StringListResult::truncated, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = {0xEE, 0xEE};  // the list starts at offset 2
        for (const auto& part : c.parts) bytes.insert(bytes.end(), part.begin(), part.end());
        with_each_source(bytes, [&](const ByteSource& input) {
            ReaderFixture fx;
            const StringListEnd end = read_string_list(input, 2, fx.sink);
            EXPECT_EQ(end.result, c.expected);
            EXPECT_EQ(fx.receiver.strings, c.strings);
        });
    }
}

TEST(seg2_reader, string_list_stops_when_the_receiver_asks) {
    Seg2Builder builder;
    builder.file_string("ONE").file_string("TWO").file_string("THREE");
    const auto bytes = builder.build();
    MemorySource input(bytes);
    ReaderFixture fx;
    fx.receiver.stop_at = z("TWO");
    FileDescriptor file;
    EXPECT_EQ(read_file_descriptor(input, file, fx.sink), FileDescriptorResult::stop_run);
    EXPECT_THAT(fx.receiver.strings, ElementsAre(z("ONE"), z("TWO")));
}

TEST(seg2_reader, traces_in_pointer_table_order) {
    struct Case {
        const char* name;
        std::vector<int> pointer_of_slot;  // index into the built traces; -1: the raw value
        std::vector<std::int32_t> raw;     // used for -1 slots, in order
        std::vector<TraceDescriptorResult> expected;
        std::vector<std::int32_t> sample_counts;  // of the traces read
    };
    using R = TraceDescriptorResult;
    const std::vector<Case> cases = {
        {"ascending", {0, 1, 2}, {}, {R::read, R::read, R::read}, {2, 3, 1}},
        {"not ascending", {2, 0, 1}, {}, {R::read, R::read, R::read}, {1, 2, 3}},
        {"repeated pointer", {1, 1, 0}, {}, {R::read, R::read, R::read}, {3, 3, 2}},
        {"bad id between good ones: points into the data",
         {0, -1, 2},
         {200},
         {R::read, R::bad_trace_id, R::read},
         {2, 1}},
        {"negative pointer", {0, -1, 2}, {-4}, {R::read, R::truncated, R::read}, {2, 1}},
        {"pointer past the end", {0, 1, -1}, {1 << 30}, {R::read, R::read, R::truncated}, {2, 3}},
        {"pointer at the last byte", {0, 1, -1}, {-2}, {R::read, R::read, R::truncated}, {2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Seg2Builder builder = three_trace_file();
        const std::vector<std::int32_t> offsets = builder.trace_offsets();
        std::vector<std::int32_t> pointers;
        std::size_t raw = 0;
        const std::size_t file_size = builder.build().size();
        for (int slot : c.pointer_of_slot) {
            if (slot >= 0) {
                pointers.push_back(offsets[static_cast<std::size_t>(slot)]);
            } else {
                std::int32_t value = c.raw[raw++];
                if (value == -2) value = static_cast<std::int32_t>(file_size - 1);
                pointers.push_back(value);
            }
        }
        builder.pointers = pointers;
        const auto bytes = builder.build();
        MemorySource input(bytes);
        ReaderFixture fx;
        FileDescriptor file;
        ASSERT_EQ(read_file_descriptor(input, file, fx.sink), FileDescriptorResult::read);
        std::vector<TraceDescriptorResult> results;
        std::vector<std::int32_t> counts;
        for (int t = 1; t <= file.trace_count; ++t) {
            TraceDescriptor trace;
            results.push_back(read_trace_descriptor(input, file, t, trace, fx.sink));
            if (results.back() == R::read) counts.push_back(trace.sample_count);
        }
        EXPECT_EQ(results, c.expected);
        EXPECT_EQ(counts, c.sample_counts);
    }
}

TEST(seg2_reader, trace_descriptor_fields_and_data_offset) {
    struct Case {
        const char* name;
        std::optional<std::uint16_t> block_size;
        std::uint32_t expected_block_size;
    };
    // The trace has no strings and 16 zero samples, so that a block of 20 bytes still has
    // 32 descriptor bytes (the rest from its data) and a terminating length word.
    const std::vector<Case> cases = {
        {"natural size", std::nullopt, 36},
        {"larger block", 100, 100},
        {"block size below 32 is taken as it stands", 20, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Seg2Builder builder;
        Seg2Trace trace = Seg2Trace::int16(std::vector<std::int16_t>(16, 0));
        trace.block_size = c.block_size;
        trace.data_block_size = 1234;
        builder.add_trace(trace);
        const auto bytes = builder.build();
        const std::int32_t pointer = builder.trace_offsets()[0];
        MemorySource input(bytes);
        ReaderFixture fx;
        FileDescriptor file;
        ASSERT_EQ(read_file_descriptor(input, file, fx.sink), FileDescriptorResult::read);
        TraceDescriptor read;
        ASSERT_EQ(read_trace_descriptor(input, file, 1, read, fx.sink),
                  TraceDescriptorResult::read);
        EXPECT_EQ(read.block_id, 0x4422);
        EXPECT_EQ(read.block_size, c.expected_block_size);
        EXPECT_EQ(read.data_block_size, 1234);
        EXPECT_EQ(read.sample_count, 16);
        EXPECT_EQ(read.format_code, 1);
        EXPECT_EQ(read.data_offset, static_cast<std::uint64_t>(pointer) + c.expected_block_size);
    }
}

TEST(seg2_reader, scale_factor_is_reset_before_each_trace) {
    Seg2Builder builder;
    builder.add_trace(Seg2Trace::int16({1}).with_string("SCALE 2.5"));
    builder.add_trace(Seg2Trace::int16({1}).with_string("NOTE plain"));
    const auto bytes = builder.build();
    MemorySource input(bytes);
    ReaderFixture fx;
    FileDescriptor file;
    ASSERT_EQ(read_file_descriptor(input, file, fx.sink), FileDescriptorResult::read);
    TraceDescriptor trace;
    ASSERT_EQ(read_trace_descriptor(input, file, 1, trace, fx.sink), TraceDescriptorResult::read);
    EXPECT_EQ(fx.scale, 2.5);
    ASSERT_EQ(read_trace_descriptor(input, file, 2, trace, fx.sink), TraceDescriptorResult::read);
    EXPECT_EQ(fx.scale, 1.0);
    fx.scale = 3.0;
    EXPECT_EQ(read_trace_descriptor(input, file, 2, trace, fx.sink), TraceDescriptorResult::read);
    EXPECT_EQ(fx.scale, 1.0);
}

}  // namespace
}  // namespace quarvent
