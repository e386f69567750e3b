#include "engine/seg2_reader.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "common/bytes.hpp"
#include "common/numbers.hpp"

namespace quarvent {

namespace {

constexpr std::size_t descriptor_block_bytes = 32;

// Serves the reader's small reads from a window of the input, so that a descriptor block
// with its strings costs one or two system reads rather than one per field; an input that
// holds all its bytes in memory is read there, without a window of its own.
class InputWindow {
public:
    explicit InputWindow(const ByteSource& input)
        : input_(input), size_(input.size()), whole_(input.contiguous()) {}

    std::uint64_t size() const { return size_; }

    // False when the range does not lie wholly inside the input or the read fails.
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) {
        if (!fits(size_, offset, out.size())) return false;
        if (whole_) {
            if (!fits(whole_->size(), offset, out.size())) return false;
            if (!out.empty()) std::memcpy(out.data(), whole_->data() + offset, out.size());
            return true;
        }
        if (out.empty()) return true;
        if (offset >= start_ && fits(window_.size(), offset - start_, out.size())) {
            std::memcpy(out.data(), window_.data() + (offset - start_), out.size());
            return true;
        }
        if (out.size() >= max_chunk_bytes) return input_.read_at(offset, out);
        // A descriptor block and its strings usually fit the first window; a longer walk
        // gets larger ones, without reading far into the data block that follows.
        chunk_bytes_ = std::min(max_chunk_bytes, std::max(chunk_bytes_ * 2, out.size()));
        window_.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk_bytes_, size_ - offset)));
        if (!input_.read_at(offset, window_)) {
            window_.clear();
            return false;
        }
        start_ = offset;
        std::memcpy(out.data(), window_.data(), out.size());
        return true;
    }

    // The n bytes at offset where the input holds them in memory; nothing when it does not
    // (then read), or when they do not lie wholly inside it.
    std::optional<std::string_view> view(std::uint64_t offset, std::size_t n) const {
        if (!whole_ || !fits(size_, offset, n) || !fits(whole_->size(), offset, n)) {
            return std::nullopt;
        }
        return std::string_view(reinterpret_cast<const char*>(whole_->data()) + offset, n);
    }

    std::optional<std::int16_t> i16(std::uint64_t offset) {
        std::array<std::uint8_t, 2> bytes{};
        if (!read(offset, bytes)) return std::nullopt;
        return read_le_i16(bytes);
    }

private:
    static constexpr std::size_t max_chunk_bytes = 65536;

    const ByteSource& input_;
    std::uint64_t size_;
    std::optional<std::span<const std::uint8_t>> whole_;
    std::size_t chunk_bytes_ = 256;  // doubled before each read: the first reads 512
    std::vector<std::uint8_t> window_;
    std::uint64_t start_ = 0;
};

// A length word that ends the list: 0, negative (top bit set), or 1, which would describe
// a string of length -1.
bool ends_list(std::int16_t length_word) { return length_word <= 1; }

// First pass over a string list: where it ends, or nothing when it runs past the input.
std::optional<std::uint64_t> string_list_end(InputWindow& window, std::uint64_t offset) {
    std::uint64_t at = offset;
    for (;;) {
        const std::optional<std::int16_t> length_word = window.i16(at);
        if (!length_word) return std::nullopt;
        at += 2;
        if (ends_list(*length_word)) return at;
        const auto body = static_cast<std::uint64_t>(*length_word - 2);
        if (!fits(window.size(), at, body)) return std::nullopt;
        at += body;
    }
}

StringListEnd walk_string_list(InputWindow& window, std::uint64_t offset,
                               const HeaderStringSink& sink) {
    // The list is checked to lie inside the input before any string is handed over; the
    // second pass then cannot run out of bytes.
    const std::optional<std::uint64_t> end = string_list_end(window, offset);
    if (!end) return {StringListResult::truncated, 0};

    std::string text;
    std::uint64_t at = offset;
    for (;;) {
        const std::optional<std::int16_t> length_word = window.i16(at);
        if (!length_word) return {StringListResult::truncated, 0};
        at += 2;
        if (ends_list(*length_word)) break;
        const auto body = static_cast<std::size_t>(*length_word - 2);
        // A string of an input in memory is handed over where it lies; others are read out.
        std::optional<std::string_view> string = window.view(at, body);
        if (!string) {
            text.resize(body);
            if (!window.read(at, std::span(reinterpret_cast<std::uint8_t*>(text.data()), body))) {
                return {StringListResult::truncated, 0};
            }
            string = text;
        }
        at += body;
        if (sink.receiver.header_string(*string, sink.header, sink.trace_scale_factor) ==
            HeaderStringReceiver::Result::stop_run) {
            return {StringListResult::stop_run, 0};
        }
    }
    return {StringListResult::ended, at};
}

}  // namespace

StringListEnd read_string_list(const ByteSource& input, std::uint64_t offset,
                               const HeaderStringSink& sink) {
    InputWindow window(input);
    return walk_string_list(window, offset, sink);
}

FileDescriptorResult read_file_descriptor(const ByteSource& input, FileDescriptor& file,
                                          const HeaderStringSink& sink) {
    InputWindow window(input);
    file = FileDescriptor{};

    // Only the identifier decides whether this is SEG-2; nothing after it is read before.
    const std::optional<std::int16_t> block_id = window.i16(0);
    if (!block_id || static_cast<std::uint16_t>(*block_id) != file_block_id) {
        return FileDescriptorResult::not_seg2;
    }
    std::array<std::uint8_t, descriptor_block_bytes> block{};
    if (!window.read(0, block)) return FileDescriptorResult::not_seg2;

    const std::span<const std::uint8_t> bytes(block);
    file.block_id = *read_le_i16(bytes, 0);
    file.revision = *read_le_i16(bytes, 2);
    file.pointer_block_size = *read_le_u16(bytes, 4);
    file.trace_count = *read_le_i16(bytes, 6);
    file.string_terminator_size = block[8];
    file.string_terminator = {block[9], block[10]};
    file.line_terminator_size = block[11];
    file.line_terminator = {block[12], block[13]};

    const double pointer_slots = file.pointer_block_size / 4.0;
    if (pointer_slots < file.trace_count) return FileDescriptorResult::pointer_shortage;

    // M need not be a multiple of 4; every slot of the rounded count is read, and the file
    // strings follow the last one.
    const auto slots = static_cast<std::size_t>(round_half_even(pointer_slots));
    std::vector<std::uint8_t> table(4 * slots);
    if (!window.read(descriptor_block_bytes, table)) return FileDescriptorResult::not_seg2;
    file.trace_pointers.resize(slots);
    for (std::size_t slot = 0; slot < slots; ++slot) {
        file.trace_pointers[slot] = *read_le_i32(table, 4 * slot);
    }

    const StringListEnd strings =
        walk_string_list(window, descriptor_block_bytes + table.size(), sink);
    switch (strings.result) {
        case StringListResult::ended:
            return FileDescriptorResult::read;
        case StringListResult::truncated:
            return FileDescriptorResult::not_seg2;
        case StringListResult::stop_run:
            return FileDescriptorResult::stop_run;
    }
    return FileDescriptorResult::not_seg2;
}

TraceDescriptorResult read_trace_descriptor(const ByteSource& input, const FileDescriptor& file,
                                            int t, TraceDescriptor& trace,
                                            const HeaderStringSink& sink) {
    sink.trace_scale_factor = 1.0;
    trace = TraceDescriptor{};
    if (t < 1 || static_cast<std::size_t>(t) > file.trace_pointers.size()) {
        return TraceDescriptorResult::truncated;
    }
    const std::int32_t pointer = file.trace_pointers[static_cast<std::size_t>(t - 1)];
    if (pointer < 0) return TraceDescriptorResult::truncated;
    const auto start = static_cast<std::uint64_t>(pointer);

    InputWindow window(input);
    const std::optional<std::int16_t> block_id = window.i16(start);
    if (!block_id) return TraceDescriptorResult::truncated;
    if (static_cast<std::uint16_t>(*block_id) != trace_block_id) {
        return TraceDescriptorResult::bad_trace_id;
    }
    std::array<std::uint8_t, descriptor_block_bytes> block{};
    if (!window.read(start, block)) return TraceDescriptorResult::truncated;

    const std::span<const std::uint8_t> bytes(block);
    trace.block_id = *read_le_i16(bytes, 0);
    trace.block_size = *read_le_u16(bytes, 2);
    trace.data_block_size = *read_le_i32(bytes, 4);
    trace.sample_count = *read_le_i32(bytes, 8);
    trace.format_code = block[12];

    switch (walk_string_list(window, start + descriptor_block_bytes, sink).result) {
        case StringListResult::ended:
            break;
        case StringListResult::truncated:
            return TraceDescriptorResult::truncated;
        case StringListResult::stop_run:
            return TraceDescriptorResult::stop_run;
    }
    // A block size below 32 is taken as it stands: the data block starts where it says.
    trace.data_offset = start + trace.block_size;
    return TraceDescriptorResult::read;
}

std::string not_seg2_entry(std::string_view path) {
    std::string entry(path);
    entry += " Not valid SEG-2 file-Skipping";
    entry += line_break;
    return entry;
}

std::string skipped_trace_entry(TraceDescriptorResult result, std::string_view path, int t) {
    std::string entry(path);
    entry += result == TraceDescriptorResult::bad_trace_id ? " BAD trace Id on trace "
                                                           : " truncated trace";
    entry += number_text(t);
    entry += " Skipping";
    entry += line_break;
    return entry;
}

MessageBoxRequest pointer_shortage_message(const FileDescriptor& file) {
    std::string text = "There are more traces (";
    text += number_text(file.trace_count);
    text += ") than";
    text += line_break;
    text += "pointers to the traces (";
    text += number_text(file.pointer_block_size / 4.0);
    text += ").";
    text += line_break;
    text += "This data can not be converted correctly.";
    text += line_break;
    text += "Contact author of data.";
    text += line_break;
    return {Dialog::pointer_shortage, text, "SEG-2 Data Format Error", Buttons::ok, Icon::critical};
}

}  // namespace quarvent
