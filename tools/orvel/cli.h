// Shared conventions of the orvel commands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvel_cli {

// Exit codes: 0 success, 1 a lookup found nothing, 2 bad usage or an unreadable input.
inline constexpr int kNotFound = 1;
inline constexpr int kUsageError = 2;

// The commands; args are what follows the command's name.
int runMeta(int argc, char** argv);
int runTags(int argc, char** argv);
int runGet(int argc, char** argv);
int runInfo(int argc, char** argv);
int runConvert(int argc, char** argv);

// True when the path names a file this process can open and read; otherwise prints why on
// standard error ("orvel: cannot read 'x': No such file or directory") and answers false.
bool checkReadable(const char* path);

// True when a file can be written at target through a temporary file beside it; otherwise
// prints why ("orvel: cannot write 'x': Is a directory") and answers false.
bool checkWritable(const std::string& target);

// The bytes of a readable file (empty when it cannot be read).
std::vector<uint8_t> fileBytes(const std::string& path);

// JSON text with every white-space byte outside strings removed.
std::string compactJson(std::string_view json);

// The text as a JSON string (quotes and escapes included).
std::string jsonQuoted(std::string_view text);

// Every line of text with indent put before it.
std::string indentLines(std::string_view text, std::string_view indent);

}  // namespace orvel_cli
