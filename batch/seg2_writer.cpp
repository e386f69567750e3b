#include "batch/seg2_writer.hpp"

#include "common/bytes.hpp"

namespace quarvent {

namespace {

void append_string_list(std::vector<std::uint8_t>& out, const std::vector<std::string>& strings) {
    for (const std::string& s : strings) {
        append_le_u16(out, static_cast<std::uint16_t>(s.size() + 3));  // length word + zero
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    }
    append_le_u16(out, 0);
}

std::vector<std::uint8_t> trace_descriptor(const Seg2TraceOut& trace) {
    std::vector<std::uint8_t> block;
    append_le_u16(block, 0x4422);
    append_le_u16(block, 0);  // block size, set below
    append_le_i32(block, static_cast<std::int32_t>(trace.data.size()));
    append_le_i32(block, trace.sample_count);
    block.push_back(trace.format_code);
    block.resize(32, 0);
    append_string_list(block, trace.strings);
    block.resize((block.size() + 3) / 4 * 4, 0);
    store_le_u16(block, 2, static_cast<std::uint16_t>(block.size()));
    return block;
}

}  // namespace

std::vector<std::uint8_t> seg2_file_bytes(const Seg2FileOut& file) {
    const std::size_t trace_count = file.traces.size();
    std::vector<std::uint8_t> head;
    append_le_u16(head, 0x3A55);
    append_le_u16(head, 1);  // revision
    append_le_u16(head, static_cast<std::uint16_t>(4 * trace_count));
    append_le_u16(head, static_cast<std::uint16_t>(trace_count));
    head.insert(head.end(), {1, 0, 0, 1, 0x0A, 0});  // terminators: zero byte, line feed
    head.resize(32, 0);
    const std::size_t pointer_table = head.size();
    head.resize(pointer_table + 4 * trace_count, 0);
    append_string_list(head, file.strings);

    std::vector<std::uint8_t> out = std::move(head);
    for (std::size_t i = 0; i < trace_count; ++i) {
        store_le_u32(out, pointer_table + 4 * i, static_cast<std::uint32_t>(out.size()));
        const std::vector<std::uint8_t> block = trace_descriptor(file.traces[i]);
        out.insert(out.end(), block.begin(), block.end());
        out.insert(out.end(), file.traces[i].data.begin(), file.traces[i].data.end());
    }
    return out;
}

}  // namespace quarvent
