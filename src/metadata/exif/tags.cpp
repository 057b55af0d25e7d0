#include "metadata/exif/tags.h"

#include <algorithm>
#include <array>

namespace orvel::metadata::exif {
namespace {

// The names of EXIF 2.3 and DNG, then those later versions added (time zones, ambient
// conditions, composite images, and EXIF 3.0's people and software), as exiftool names them.
constexpr std::array<TagName, 137> kExifTags = {{
    {0x000B, "ProcessingSoftware"},
    {0x00FE, "NewSubfileType"},
    {0x00FF, "SubfileType"},
    {0x0100, "ImageWidth"},
    {0x0101, "ImageHeight"},
    {0x0102, "BitsPerSample"},
    {0x0103, "Compression"},
    {0x0106, "PhotometricInterpretation"},
    {0x010E, "ImageDescription"},
    {0x010F, "Make"},
    {0x0110, "Model"},
    {0x0111, "StripOffsets"},
    {0x0112, "Orientation"},
    {0x0115, "SamplesPerPixel"},
    {0x0116, "RowsPerStrip"},
    {0x0117, "StripByteCounts"},
    {0x011A, "XResolution"},
    {0x011B, "YResolution"},
    {0x011C, "PlanarConfiguration"},
    {0x0128, "ResolutionUnit"},
    {0x0131, "Software"},
    {0x0132, "ModifyDate"},
    {0x013B, "Artist"},
    {0x013C, "HostComputer"},
    {0x013E, "WhitePoint"},
    {0x013F, "PrimaryChromaticities"},
    {0x0142, "TileWidth"},
    {0x0143, "TileLength"},
    {0x0144, "TileOffsets"},
    {0x0145, "TileByteCounts"},
    {0x014A, "SubIFDs"},
    {0x0211, "YCbCrCoefficients"},
    {0x0212, "YCbCrSubSampling"},
    {0x0213, "YCbCrPositioning"},
    {0x0214, "ReferenceBlackWhite"},
    {0x8298, "Copyright"},
    {0x829A, "ExposureTime"},
    {0x829D, "FNumber"},
    {0x8769, "ExifOffset"},
    {0x8822, "ExposureProgram"},
    {0x8824, "SpectralSensitivity"},
    {0x8825, "GPSInfo"},
    {0x8827, "ISO"},
    {0x8828, "OECF"},
    {0x8830, "SensitivityType"},
    {0x8831, "StandardOutputSensitivity"},
    {0x8832, "RecommendedExposureIndex"},
    {0x8833, "ISOSpeed"},
    {0x9000, "ExifVersion"},
    {0x9003, "DateTimeOriginal"},
    {0x9004, "CreateDate"},
    {0x9010, "OffsetTime"},
    {0x9011, "OffsetTimeOriginal"},
    {0x9012, "OffsetTimeDigitized"},
    {0x9101, "ComponentsConfiguration"},
    {0x9102, "CompressedBitsPerPixel"},
    {0x9201, "ShutterSpeedValue"},
    {0x9202, "ApertureValue"},
    {0x9203, "BrightnessValue"},
    {0x9204, "ExposureCompensation"},
    {0x9205, "MaxApertureValue"},
    {0x9206, "SubjectDistance"},
    {0x9207, "MeteringMode"},
    {0x9208, "LightSource"},
    {0x9209, "Flash"},
    {0x920A, "FocalLength"},
    {0x9214, "SubjectArea"},
    {0x9216, "TIFF-EPStandardID"},
    {0x927C, "MakerNote"},
    {0x9286, "UserComment"},
    {0x9290, "SubSecTime"},
    {0x9291, "SubSecTimeOriginal"},
    {0x9292, "SubSecTimeDigitized"},
    {0x9400, "AmbientTemperature"},
    {0x9401, "Humidity"},
    {0x9402, "Pressure"},
    {0x9403, "WaterDepth"},
    {0x9404, "Acceleration"},
    {0x9405, "CameraElevationAngle"},
    {0xA000, "FlashpixVersion"},
    {0xA001, "ColorSpace"},
    {0xA002, "ExifImageWidth"},
    {0xA003, "ExifImageHeight"},
    {0xA004, "RelatedSoundFile"},
    {0xA005, "InteropOffset"},
    {0xA20B, "FlashEnergy"},
    {0xA20C, "SpatialFrequencyResponse"},
    {0xA20E, "FocalPlaneXResolution"},
    {0xA20F, "FocalPlaneYResolution"},
    {0xA210, "FocalPlaneResolutionUnit"},
    {0xA214, "SubjectLocation"},
    {0xA215, "ExposureIndex"},
    {0xA217, "SensingMethod"},
    {0xA300, "FileSource"},
    {0xA301, "SceneType"},
    {0xA302, "CFAPattern"},
    {0xA401, "CustomRendered"},
    {0xA402, "ExposureMode"},
    {0xA403, "WhiteBalance"},
    {0xA404, "DigitalZoomRatio"},
    {0xA405, "FocalLengthIn35mmFormat"},
    {0xA406, "SceneCaptureType"},
    {0xA407, "GainControl"},
    {0xA408, "Contrast"},
    {0xA409, "Saturation"},
    {0xA40A, "Sharpness"},
    {0xA40B, "DeviceSettingDescription"},
    {0xA40C, "SubjectDistanceRange"},
    {0xA420, "ImageUniqueID"},
    {0xA430, "OwnerName"},
    {0xA431, "SerialNumber"},
    {0xA432, "LensInfo"},
    {0xA433, "LensMake"},
    {0xA434, "LensModel"},
    {0xA435, "LensSerialNumber"},
    {0xA436, "ImageTitle"},
    {0xA437, "Photographer"},
    {0xA438, "ImageEditor"},
    {0xA439, "CameraFirmware"},
    {0xA43A, "RAWDevelopingSoftware"},
    {0xA43B, "ImageEditingSoftware"},
    {0xA43C, "MetadataEditingSoftware"},
    {0xA460, "CompositeImage"},
    {0xA461, "CompositeImageCount"},
    {0xA462, "CompositeImageExposureTimes"},
    {0xC612, "DNGVersion"},
    {0xC613, "DNGBackwardVersion"},
    {0xC614, "UniqueCameraModel"},
    {0xC615, "LocalizedCameraModel"},
    {0xC621, "ColorMatrix1"},
    {0xC622, "ColorMatrix2"},
    {0xC623, "CameraCalibration1"},
    {0xC624, "CameraCalibration2"},
    {0xC627, "AnalogBalance"},
    {0xC628, "AsShotNeutral"},
    {0xC62F, "CameraSerialNumber"},
    {0xC68B, "OriginalRawFileName"},
}};

constexpr bool isSortedByTag() {
  for (std::size_t i = 1; i < kExifTags.size(); ++i) {
    if (kExifTags[i - 1].tag >= kExifTags[i].tag) return false;
  }
  return true;
}
static_assert(isSortedByTag(), "binary search needs the tags in ascending order");

constexpr std::array<std::string_view, 32> kGpsTags = {
    "GPSVersionID",        "GPSLatitudeRef",     "GPSLatitude",         "GPSLongitudeRef",
    "GPSLongitude",        "GPSAltitudeRef",     "GPSAltitude",         "GPSTimeStamp",
    "GPSSatellites",       "GPSStatus",          "GPSMeasureMode",      "GPSDOP",
    "GPSSpeedRef",         "GPSSpeed",           "GPSTrackRef",         "GPSTrack",
    "GPSImgDirectionRef",  "GPSImgDirection",    "GPSMapDatum",         "GPSDestLatitudeRef",
    "GPSDestLatitude",     "GPSDestLongitudeRef", "GPSDestLongitude",   "GPSDestBearingRef",
    "GPSDestBearing",      "GPSDestDistanceRef", "GPSDestDistance",     "GPSProcessingMethod",
    "GPSAreaInformation",  "GPSDateStamp",       "GPSDifferential",     "GPSHPositioningError",
};

}  // namespace

std::span<const TagName> exifTagTable() { return kExifTags; }

std::span<const std::string_view> gpsTagTable() { return kGpsTags; }

std::string_view exifTagName(uint16_t tag) noexcept {
  auto found = std::lower_bound(kExifTags.begin(), kExifTags.end(), tag,
                                [](const TagName& entry, uint16_t key) { return entry.tag < key; });
  return found != kExifTags.end() && found->tag == tag ? found->name : std::string_view{};
}

std::string_view gpsTagName(uint16_t tag) noexcept {
  return tag < kGpsTags.size() ? kGpsTags[tag] : std::string_view{};
}

}  // namespace orvel::metadata::exif
