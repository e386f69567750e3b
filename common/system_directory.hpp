#pragma once
// The directory in which the programs look first for their data: the keyword file
// QEXKEYWO.RD and the About picture qexabout.bmp. Linux has no system directory of its own,
// so the place is fixed when the program is built:
//
//   1. the environment variable QUARVENT_SYSTEM_DIR, when it is set and not empty;
//   2. for an installed program, the install prefix's share/quarvent, found relative to the
//      program file (so an installed tree that is moved as a whole still finds its data);
//   3. otherwise the source tree's data/ folder, for a program run from its build tree.
//
// The result always ends with '/'.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace quarvent {

inline constexpr std::string_view system_directory_variable = "QUARVENT_SYSTEM_DIR";
inline constexpr std::string_view keyword_file_name = "QEXKEYWO.RD";

std::string system_directory();

// The keyword file the programs use unless told otherwise: system_directory() followed by
// "QEXKEYWO.RD".
std::string default_keyword_file_path();

// The rule behind system_directory, with its inputs given. override_dir is the
// environment variable's value; program_dir the directory of the running program file
// (empty when unknown); installed_data_dirs the data directory as seen from each place the
// install rules put a program, relative to it ("../share/quarvent/"); source_data_dir the
// source tree's data folder. A relative candidate counts only when it is an existing
// directory.
std::string choose_system_directory(std::string_view override_dir,
                                    const std::filesystem::path& program_dir,
                                    std::span<const std::string_view> installed_data_dirs,
                                    std::string_view source_data_dir);

// The directory of the running program file, or empty when the system does not say.
std::filesystem::path program_directory();

}  // namespace quarvent
