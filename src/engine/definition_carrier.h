// How a setup program carries its install definition: the definition's text is appended to the
// engine program, followed by a 16-byte record: the marker "TMBYDEF1", the text's length and its
// CRC-32 (both 32-bit little-endian). Windows ignores what follows a program's image, so the
// stamped program still runs, and stamping needs no compiler: tmbystamp does it on any machine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tmby {

inline constexpr char kDefinitionMarker[] = "TMBYDEF1";
inline constexpr size_t kDefinitionRecordSize = 16;
// Definitions larger than this are refused (the sample's, with its pictures, is about 150 KB).
inline constexpr uint32_t kMaxCarriedDefinition = 64u * 1024 * 1024;

// The engine program without any definition it carries (a stamped program gives back its
// engine; a plain engine is returned unchanged).
std::string_view StripDefinition(std::string_view program);

// `engine` (stamped or not) carrying `definition` instead.
std::string StampDefinition(std::string_view engine, std::string_view definition);

enum class TCarriedDefinition { None, Damaged, Present };

// Finds the definition a program carries. `text` receives it when present.
TCarriedDefinition FindDefinition(std::string_view program, std::string* text);

// Reads the definition that the program file at `path` (a Windows path, read through the port)
// carries. Raises Exception "The program %s carries no install definition" or "The install
// definition carried by %s is damaged" (the path).
std::string ReadCarriedDefinition(const std::string& path);

}  // namespace tmby
