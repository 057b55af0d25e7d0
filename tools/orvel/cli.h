// Shared conventions of the orvel commands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvel.h"

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
int runThumb(int argc, char** argv);

// The whole file into `out`; on failure prints why on standard error and answers false.
bool readFile(const char* path, std::vector<uint8_t>& out);
bool writeFile(const std::string& path, const uint8_t* data, int64_t length);

// The extension of a path in lower case ("" when it has none).
std::string lowerExtension(std::string_view path);

// The number ov_image_encode takes for a format name or extension ("jpg"); 0 when unknown.
int32_t encodeFormatNamed(std::string_view name);

// Reads and decodes an image file (.tga files as TGA, which has no signature); null with
// "cannot read 'x': why" or "cannot decode 'x': why" in error. The file's bytes stay in bytes.
ov_image* decodeImageFile(const std::string& path, std::vector<uint8_t>& bytes,
                          std::string& error);

// As decodeImageFile, printing why on standard error.
ov_image* decodeImagePath(const char* path, std::vector<uint8_t>& bytes);

// Encodes the image in the given format and writes it to path; false with why in error.
bool encodeImageFile(ov_image* image, const std::string& path, int32_t format, int quality,
                     std::string& error);

// A whole number in 1..limit, all of the text.
bool parseCount(std::string_view text, int64_t limit, int64_t& out);

// The arguments of a command that writes one image: IN OUT [--format F] [--quality N], N from
// 1 to 100; false for anything else.
bool parseWriteArgs(int argc, char** argv, std::vector<const char*>& paths,
                    std::string& formatName, int& quality);

// Encodes the image in the format `formatName` names (or, when empty, the extension of
// `path`) and writes it there. 0, or kUsageError after a message naming `source`.
int writeImage(ov_image* image, const char* source, const char* path, std::string formatName,
               int quality);

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

// Image processing commands (decode IN, transform, encode OUT by its extension).
int runResize(int argc, char** argv);
int runRotate(int argc, char** argv);
int runCrop(int argc, char** argv);
int runOrient(int argc, char** argv);
int runThumbnail(int argc, char** argv);

}  // namespace orvel_cli
