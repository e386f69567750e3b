// Replays inputs through a fuzz target without libFuzzer, so that the targets build with any
// compiler and the test run can feed them the seed corpus and the inputs that once crashed.
//
//   replay_<target> FILE_OR_DIRECTORY...
//
// Directories are walked recursively; every regular file is one input, in name order. The
// empty input is always tried first, as libFuzzer does.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool read_whole(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);

    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            for (auto it = std::filesystem::recursive_directory_iterator(arg, error);
                 !error && it != std::filesystem::recursive_directory_iterator();
                 it.increment(error)) {
                if (it->is_regular_file(error)) inputs.push_back(it->path());
            }
        } else if (std::filesystem::is_regular_file(arg, error)) {
            inputs.push_back(arg);
        }
        if (error || !std::filesystem::exists(arg)) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[i]);
            return 2;
        }
    }
    std::sort(inputs.begin(), inputs.end());

    static const std::uint8_t no_byte = 0;
    LLVMFuzzerTestOneInput(&no_byte, 0);
    std::vector<std::uint8_t> bytes;
    for (const std::filesystem::path& input : inputs) {
        if (!read_whole(input, bytes)) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], input.c_str());
            return 2;
        }
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed without a fault\n", inputs.size() + 1);
    return inputs.empty() ? 1 : 0;
}
