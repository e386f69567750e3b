#pragma once
// The operator's remembered choices: the options, the last output file and the width of the
// input list. They live in a settings file of the desktop program's own (the platform layer
// provides the store), apart from quarvent.ini, whose 22 lines stay as they are.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quarvent {

class PreferenceStore {
public:
    virtual ~PreferenceStore() = default;
    virtual std::optional<std::string> value(std::string_view key) const = 0;
    virtual void set_value(std::string_view key, std::string_view value) = 0;
    virtual void remove(std::string_view key) = 0;
};

// A store in memory, for tests and for a program without a settings folder.
class MemoryPreferences final : public PreferenceStore {
public:
    std::optional<std::string> value(std::string_view key) const override {
        const auto found = values_.find(std::string(key));
        if (found == values_.end()) return std::nullopt;
        return found->second;
    }
    void set_value(std::string_view key, std::string_view value) override {
        values_[std::string(key)] = std::string(value);
    }
    void remove(std::string_view key) override { values_.erase(std::string(key)); }
    const std::map<std::string, std::string>& values() const { return values_; }

private:
    std::map<std::string, std::string> values_;
};

// The keys of the remembered choices.
namespace preference_key {
inline constexpr std::string_view resample_factor = "options/resample_factor";
inline constexpr std::string_view record_end_ms = "options/record_end_ms";
inline constexpr std::string_view remember_delete = "options/remember_delete_inputs";
inline constexpr std::string_view delete_inputs = "options/delete_inputs";
inline constexpr std::string_view fresh_header = "options/fresh_header_per_file";
inline constexpr std::string_view output_file = "files/output_file";
inline constexpr std::string_view list_width = "layout/input_list_width_twips";
inline constexpr std::string_view run_log = "options/write_run_log";
}  // namespace preference_key

}  // namespace quarvent
