#include "metadata/makernotes/pentax_settings.h"

#include <array>
#include <cmath>

#include "metadata/makernotes/values.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr auto kPictureMode2 = std::to_array<CodeText>({
    {0, "Scene Mode"},
    {1, "Auto PICT"},
    {2, "Program AE"},
    {3, "Green Mode"},
    {4, "Shutter Speed Priority"},
    {5, "Aperture Priority"},
    {6, "Program Tv Shift"},
    {7, "Program Av Shift"},
    {8, "Manual"},
    {9, "Bulb"},
    {10, "Aperture Priority, Off-Auto-Aperture"},
    {11, "Manual, Off-Auto-Aperture"},
    {12, "Bulb, Off-Auto-Aperture"},
    {13, "Shutter & Aperture Priority AE"},
    {15, "Sensitivity Priority AE"},
    {16, "Flash X-Sync Speed AE"},
});
constexpr auto kProgramLine =
    std::to_array<CodeText>({{0, "Normal"}, {1, "Hi Speed"}, {2, "Depth"}, {3, "MTF"}});
constexpr auto kEvSteps = std::to_array<CodeText>({{0, "1/2 EV Steps"}, {1, "1/3 EV Steps"}});
constexpr auto kEDial = std::to_array<CodeText>({{0, "Tv or Av"}, {1, "P Shift"}});
constexpr auto kApertureRing = std::to_array<CodeText>({{0, "Prohibited"}, {1, "Permitted"}});
constexpr auto kFlashOptions = std::to_array<CodeText>({
    {0, "Normal"},
    {1, "Red-eye reduction"},
    {2, "Auto"},
    {3, "Auto, Red-eye reduction"},
    {5, "Wireless (Master)"},
    {6, "Wireless (Control)"},
    {8, "Slow-sync"},
    {9, "Slow-sync, Red-eye reduction"},
    {10, "Trailing-curtain Sync"},
});
constexpr auto kFocusMode2 =
    std::to_array<CodeText>({{0, "Manual"}, {1, "AF-S"}, {2, "AF-C"}, {3, "AF-A"}});
constexpr auto kExpBracketStep = std::to_array<CodeText>({
    {3, "0.3"},
    {4, "0.5"},
    {5, "0.7"},
    {8, "1.0"},
    {11, "1.3"},
    {12, "1.5"},
    {13, "1.7"},
    {16, "2.0"},
});
constexpr auto kWhiteBalanceSet = std::to_array<CodeText>({
    {0, "Auto"},
    {1, "Daylight"},
    {2, "Shade"},
    {3, "Cloudy"},
    {4, "Daylight Fluorescent"},
    {5, "Day White Fluorescent"},
    {6, "White Fluorescent"},
    {7, "Tungsten"},
    {8, "Flash"},
    {9, "Manual"},
    {12, "Set Color Temperature 1"},
    {13, "Set Color Temperature 2"},
    {14, "Set Color Temperature 3"},
});
constexpr auto kMultipleExposureSet = std::to_array<CodeText>({{0, "Off"}, {1, "On"}});
constexpr auto kRawJpg = std::to_array<CodeText>({
    {1, "JPEG (Best)"},
    {4, "RAW (PEF, Best)"},
    {5, "RAW+JPEG (PEF, Best)"},
    {8, "RAW (DNG, Best)"},
    {9, "RAW+JPEG (DNG, Best)"},
    {33, "JPEG (Better)"},
    {36, "RAW (PEF, Better)"},
    {37, "RAW+JPEG (PEF, Better)"},
    {40, "RAW (DNG, Better)"},
    {41, "RAW+JPEG (DNG, Better)"},
    {65, "JPEG (Good)"},
    {68, "RAW (PEF, Good)"},
    {69, "RAW+JPEG (PEF, Good)"},
    {72, "RAW (DNG, Good)"},
    {73, "RAW+JPEG (DNG, Good)"},
});
constexpr auto kJpgPixels = std::to_array<CodeText>({{0, "10 MP"}, {1, "6 MP"}, {2, "2 MP"}});
constexpr auto kSrActive = std::to_array<CodeText>({{0, "No"}, {1, "Yes"}});
constexpr auto kRotation = std::to_array<CodeText>(
    {{0, "Horizontal (normal)"}, {1, "Rotate 180"}, {2, "Rotate 90 CW"}, {3, "Rotate 270 CW"}});
constexpr auto kIsoSetting = std::to_array<CodeText>({{0, "Manual"}, {1, "Auto"}});
constexpr auto kSensSteps = std::to_array<CodeText>({{0, "1 EV Steps"}, {1, "As EV Steps"}});
constexpr auto kAeProgramMode = std::to_array<CodeText>({
    {0, "M, P or TAv"},
    {1, "Av, B or X"},
    {2, "Tv"},
    {3, "Sv or Green Mode"},
    {8, "Hi-speed Program"},
    {11, "Hi-speed Program (P-Shift)"},
    {16, "DOF Program"},
    {19, "DOF Program (P-Shift)"},
    {24, "MTF Program"},
    {27, "MTF Program (P-Shift)"},
    {35, "Standard"},
    {43, "Portrait"},
    {51, "Landscape"},
    {59, "Macro"},
    {67, "Sport"},
    {75, "Night Scene Portrait"},
    {83, "No Flash"},
    {91, "Night Scene"},
    {99, "Surf & Snow"},
    {104, "Night Snap"},
    {107, "Text"},
    {115, "Sunset"},
    {123, "Kids"},
    {131, "Pet"},
    {139, "Candlelight"},
    {144, "SCN"},
    {147, "Museum"},
    {160, "Program"},
    {184, "Shallow DOF Program"},
    {216, "HDR"},
});
static_assert(isSortedTable(kPictureMode2) && isSortedTable(kFlashOptions) &&
              isSortedTable(kExpBracketStep) && isSortedTable(kWhiteBalanceSet) &&
              isSortedTable(kRawJpg) && isSortedTable(kAeProgramMode));

constexpr auto kMeteringBits =
    std::to_array<BitName>({{0, "Center-weighted average"}, {1, "Spot"}});
constexpr auto kAfPointModeBits = std::to_array<BitName>({{0, "Select"}, {1, "Fixed Center"}});
constexpr auto kAfPointBits = std::to_array<BitName>({
    {0, "Upper-left"},
    {1, "Top"},
    {2, "Upper-right"},
    {3, "Left"},
    {4, "Mid-left"},
    {5, "Center"},
    {6, "Mid-right"},
    {7, "Right"},
    {8, "Lower-left"},
    {9, "Bottom"},
    {10, "Lower-right"},
});
constexpr auto kDriveBits = std::to_array<BitName>({
    {0, "Continuous"},
    {1, "Continuous (Lo)"},
    {2, "Self-timer (12 s)"},
    {3, "Self-timer (2 s)"},
    {4, "Remote Control (3 s delay)"},
    {5, "Remote Control"},
    {6, "Exposure Bracket"},
    {7, "Multiple Exposure"},
});

constexpr std::size_t kMinSettingsSize = 11;
constexpr std::size_t kMinAeSize = 5;
constexpr std::size_t kFullAeSize = 13;

int highNibble(uint8_t b) { return b >> 4; }
int lowNibble(uint8_t b) { return b & 0x0F; }
int bitOf(uint8_t b, int bit) { return b >> bit & 1; }

std::string meteringMask(uint32_t bits) { return bitmaskStr(bits, "Multi-segment", kMeteringBits); }

// An f-number held as a Pentax aperture code: 2^((code - 68) / 16).
double apertureOf(uint8_t code) { return std::exp2((code - 68) / 16.0); }

// An exposure time held as a Pentax AE code: 24 s × 2^(-(code - 32) / 8).
double aeExposureOf(uint8_t code) { return 24 * std::exp2(-(code - 32) / 8.0); }

void addBasicSettings(VendorTags& tags, ByteView b) {
  tags.setCoded("PictureMode2", kPictureMode2, b[0]);
  tags.setCoded("ProgramLine", kProgramLine, b[1] & 0x03);
  tags.setCoded("EVSteps", kEvSteps, bitOf(b[1], 5));
  tags.setCoded("E-DialInProgram", kEDial, bitOf(b[1], 6));
  tags.setCoded("ApertureRingUse", kApertureRing, bitOf(b[1], 7));
  tags.setCoded("FlashOptions", kFlashOptions, highNibble(b[2]));
  tags.setNonEmpty("MeteringMode2", meteringMask(lowNibble(b[2])));
  tags.setNonEmpty("AFPointMode", bitmaskStr(highNibble(b[3]), "Auto", kAfPointModeBits));
  tags.setCoded("FocusMode2", kFocusMode2, lowNibble(b[3]));
  // The AF-point word is big-endian whatever order the note uses.
  const uint32_t afPoints = readUint16(b, 4, true);
  tags.setNonEmpty("AFPointSelected2", bitmaskStr(afPoints, "Auto", kAfPointBits));
  tags.set("ISOFloor", std::to_string(roundedIso(pentaxEv(b[6] - 32))));
  tags.setNonEmpty("DriveMode2", bitmaskStr(b[7], "Single-frame", kDriveBits));
  tags.setCoded("ExposureBracketStepSize", kExpBracketStep, b[8]);
  if (b[9] == 0) tags.set("BracketShotNumber", "n/a");
  tags.setCoded("WhiteBalanceSet", kWhiteBalanceSet, highNibble(b[10]));
  tags.setCoded("MultipleExposureSet", kMultipleExposureSet, lowNibble(b[10]));
}

// The K10D generation appends recording, rotation and programmed-exposure bytes.
void addExtendedSettings(VendorTags& tags, ByteView b) {
  const std::size_t n = b.size();
  if (n > 13) tags.setCoded("RawAndJpgRecording", kRawJpg, b[13]);
  if (n > 14) tags.setCoded("JpgRecordedPixels", kJpgPixels, b[14] & 0x03);
  if (n > 16) {
    tags.setCoded("FlashOptions2", kFlashOptions, highNibble(b[16]));
    tags.setNonEmpty("MeteringMode3", meteringMask(lowNibble(b[16])));
  }
  if (n > 17) {
    tags.setCoded("SRActive", kSrActive, bitOf(b[17], 7));
    tags.setCoded("Rotation", kRotation, b[17] >> 5 & 0x03);
    tags.setCoded("ISOSetting", kIsoSetting, bitOf(b[17], 2));
    tags.setCoded("SensitivitySteps", kSensSteps, bitOf(b[17], 1));
  }
  if (n > 18) tags.set("TvExposureTimeSetting", pexpTime(std::exp2(-pentaxEv(b[18] - 68))));
  if (n > 19) tags.set("AvApertureSetting", fixedDecimals(std::exp2(pentaxEv(b[19] - 68) / 2), 1));
  if (n > 20) tags.set("SvISOSetting", std::to_string(roundedIso(pentaxEv(b[20] - 32))));
  if (n > 21) tags.set("BaseExposureCompensation", signedEv(pentaxEv(64 - b[21])));
}

void addLongAeInfo(VendorTags& tags, ByteView b) {
  tags.set("AEMinExposureTime", pexpTime(aeExposureOf(b[5])));
  tags.setCoded("AEProgramMode", kAeProgramMode, b[6]);
  tags.set("AEApertureSteps", b[8] == 255 ? std::string("n/a") : std::to_string(b[8]));
  tags.set("AEMaxAperture", fixedDecimals(apertureOf(b[9]), 1));
  tags.set("AEMaxAperture2", fixedDecimals(apertureOf(b[10]), 1));
  tags.set("AEMinAperture", fixedDecimals(apertureOf(b[11]), 0));
  tags.setNonEmpty("AEMeteringMode", meteringMask(b[12]));
}

}  // namespace

void addPentaxCameraSettings(TagMap& out, ByteView raw, bool extended) {
  if (raw.size() < kMinSettingsSize) return;
  VendorTags tags(out, "Pentax");
  addBasicSettings(tags, raw);
  if (extended) addExtendedSettings(tags, raw);
}

void addPentaxAEInfo(TagMap& out, ByteView raw) {
  if (raw.size() < kMinAeSize) return;
  VendorTags tags(out, "Pentax");
  tags.set("AEExposureTime", pexpTime(aeExposureOf(raw[0])));
  tags.set("AEAperture", fixedDecimals(apertureOf(raw[1]), 1));
  tags.set("AE_ISO", std::to_string(roundedIso((raw[2] - 32) / 8.0)));
  tags.set("AEXv", trimFloat((raw[3] - 64) / 8.0, 4));
  tags.set("AEBXv", trimFloat(static_cast<int8_t>(raw[4]) / 8.0, 4));
  if (raw.size() >= kFullAeSize) addLongAeInfo(tags, raw);
}

}  // namespace orvel::metadata::makernotes
