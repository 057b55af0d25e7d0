/*
 * orvel.h — the C interface of libOrvel.
 *
 * libOrvel reads, edits and strips the metadata of photos and videos and decodes, transforms
 * and encodes images. Every call is self-contained: hand it paths, buffers or handles, get back
 * a status code, a value or a new handle. Usable from C99 and C++.
 *
 * Conventions
 *  - Call ov_exif_init() once, before any other function and before a second thread uses the
 *    library. After that any thread may call any function.
 *  - Functions that can fail return an ov_status: 0 is success. The metadata functions
 *    (ov_exif_*) and the image functions (ov_image_*, ov_palette_*) have separate code tables;
 *    ov_exif_strerror() and ov_image_strerror() give their texts.
 *  - Handles are opaque. A handle stays valid until its free function; a freed, null or foreign
 *    handle is refused (status 2, or a 0/NULL result), never dereferenced.
 *  - Strings returned by query functions belong to the handle. Byte buffers returned by write,
 *    strip and encode functions belong to the caller, who releases them with
 *    ov_exif_buffer_free() or ov_image_buffer_free().
 */
#ifndef ORVEL_H
#define ORVEL_H

#include <stdbool.h>
#include <stdint.h>

#if defined(ORVEL_BUILDING)
#define ORVEL_API __attribute__((visibility("default")))
#else
#define ORVEL_API
#endif

/* No exported function lets a C++ exception escape. */
#if defined(__cplusplus)
#define OV_NOEXCEPT noexcept
#else
#define OV_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result of every function that can fail; 0 is success in both families. */
typedef int32_t ov_status;

/* Metadata-half status codes (ov_exif_*). */
#define OV_EXIF_OK 0          /* "ok" */
#define OV_EXIF_IO_ERROR 1    /* a file or parser failure while the operation ran */
#define OV_EXIF_BAD_ARGUMENT 2 /* null/short argument, bad index, null or unknown handle */
#define OV_EXIF_UNSUPPORTED 4 /* the container holds nothing this operation can act on */

/* Image-half status codes (ov_image_*, ov_palette_*). */
#define OV_IMAGE_OK 0
#define OV_IMAGE_BAD_ARGUMENT 2 /* bad argument, unknown handle, unrecognised or truncated input */
#define OV_IMAGE_UNSUPPORTED 4  /* unsupported format or feature, or an empty result */
#define OV_IMAGE_OUT_OF_MEMORY 8

/* ---- Start-up, versions, messages ---------------------------------------------------- */

/* Initialises the library: the handle lock, the codec and colour tables, and handlers for
 * SIGINT, SIGSEGV, SIGABRT, SIGFPE, SIGILL and SIGBUS that print one line and re-raise (only
 * for signals whose handling is still the default; SIGPIPE is ignored likewise). Call once. */
ORVEL_API void ov_exif_init(void) OV_NOEXCEPT;

/* The same initialisation as ov_exif_init(), for hosts that drive the runtime directly. Call
 * one of the two, not both. */
ORVEL_API void VelMain(void) OV_NOEXCEPT;

/* Releases the library's global tables. Every handle is unknown afterwards; records still
 * registered are not destroyed. The library is not used after this call. */
ORVEL_API void VelDestroyGlobals(void) OV_NOEXCEPT;

/* The library version, "1.1.0"; a static string the caller never frees. */
ORVEL_API const char *ov_version(void) OV_NOEXCEPT;

/* ABI versions of the metadata and image interfaces; both 1 in this release. */
ORVEL_API int32_t ov_exif_abi_version(void) OV_NOEXCEPT;
ORVEL_API int32_t ov_image_abi_version(void) OV_NOEXCEPT;

/* The text of a metadata-half status code ("ok", "io error", ...); any code outside the table,
 * negative ones included, gives "unknown error". Static, never NULL, never freed. */
ORVEL_API const char *ov_exif_strerror(ov_status code) OV_NOEXCEPT;

/* The text of an image-half status code ("ok", "bad argument / unrecognized / truncated",
 * "unsupported operation", "out of memory"); unknown codes give "unknown error". */
ORVEL_API const char *ov_image_strerror(ov_status code) OV_NOEXCEPT;

/* Release a byte buffer handed out by an ov_exif_* function; NULL is ignored. */
ORVEL_API void ov_exif_buffer_free(uint8_t *buffer) OV_NOEXCEPT;

/* Release a byte buffer handed out by an ov_image_* function; NULL is ignored. */
ORVEL_API void ov_image_buffer_free(uint8_t *buffer) OV_NOEXCEPT;

/* Maps an image error kind (0 none, 1 unsupported, 2 truncated, 3 invalid) to an image-half
 * status: 0 gives 0, 1 gives 4, any other kind gives 2. */
ORVEL_API ov_status mapImgStatus(uint8_t kind) OV_NOEXCEPT;

/* ---- Metadata queries ------------------------------------------------------------------ */

/* A read-only snapshot of a file's or buffer's metadata: tags sorted by name (byte order), GPS
 * position, orientation and a cached JSON text. Every string it hands out belongs to it, is
 * NUL-terminated (an empty value is "", never NULL) and stays valid until ov_exif_meta_free(). */
typedef struct ov_meta ov_meta;

/* Reads the metadata of the file at path (its first 16 MiB, plus a movie box or Exif item
 * further on; a large JPEG only as far as its metadata reaches, other files as far as their
 * structure leads, with bounded reads: the file is never memory-mapped, so one truncated by
 * another process meanwhile gives an invalid handle, never a signal) into a new handle stored in
 * *out. Returns 0; a missing, empty or unreadable file still gives 0 and a handle whose
 * ov_exif_is_valid() is 0. 2 when path or out is NULL, 1 when reading fails; *out is left NULL
 * on every failure. Free the handle with ov_exif_meta_free(). One read walks at most 2^20
 * directory entries and renders at most 64 MiB of text from values over 64 bytes; only hostile
 * files reach these bounds, and what lies beyond them is left out or left empty. */
ORVEL_API ov_status ov_exif_read_file(const char *path, ov_meta **out) OV_NOEXCEPT;

/* As ov_exif_read_file() for length bytes at data (JPEG, TIFF, PNG, WebP, HEIF/AVIF or
 * QuickTime/MP4); the bytes are not kept. 2 (and *out NULL) when out or data is NULL or
 * length < 1. */
ORVEL_API ov_status ov_exif_read_buffer(const uint8_t *data, int64_t length,
                                        ov_meta **out) OV_NOEXCEPT;

/* 1 when the handle is live and metadata was found, else 0. */
ORVEL_API bool ov_exif_is_valid(const ov_meta *handle) OV_NOEXCEPT;

/* The number of tags; 0 for a NULL or unknown handle. */
ORVEL_API int64_t ov_exif_tag_count(const ov_meta *handle) OV_NOEXCEPT;

/* Stores the name and value of the tag at index (0-based, in ascending byte order of the
 * names) and returns 0. 2 for a NULL or unknown handle, a NULL out pointer, or an index outside
 * [0, count); nothing is stored then. The strings belong to the handle. Names and values are
 * the file's bytes as they are, which need not be UTF-8 (a Latin-1 PNG text, a legacy IPTC
 * field); ov_exif_get_tag() returns the same bytes, ov_exif_to_json() valid UTF-8. */
ORVEL_API ov_status ov_exif_tag_at(const ov_meta *handle, int64_t index, const char **outName,
                                   const char **outValue) OV_NOEXCEPT;

/* The value of the tag named exactly name (case-sensitive), owned by the handle; NULL when
 * there is no such tag, name is NULL or the handle is NULL or unknown. */
ORVEL_API const char *ov_exif_get_tag(const ov_meta *handle, const char *name) OV_NOEXCEPT;

/* 1 when the handle has a GPS position, after storing latitude and longitude (signed decimal
 * degrees, south and west negative) and altitude (metres, below sea level negative) into the
 * non-NULL pointers; 0 otherwise, storing nothing. A position needs both hemisphere letters,
 * finite numbers, a latitude within +-90 and a longitude within +-180. */
ORVEL_API bool ov_exif_get_gps(const ov_meta *handle, double *outLat, double *outLon,
                               double *outAlt) OV_NOEXCEPT;

/* The EXIF orientation number (1-8 in practice); 0 when absent, out of the 32-bit range, or
 * for a NULL or unknown handle. */
ORVEL_API int32_t ov_exif_get_orientation(const ov_meta *handle) OV_NOEXCEPT;

/* The metadata as one pretty-printed JSON object (members "isValid", "orientation", "camera",
 * "software", "gps", "tags"; no final line feed), built on the first call and owned by the
 * handle; every call returns the same text. The text is always valid UTF-8: well-formed UTF-8
 * in names and values passes through, and every other byte from 0x80 up becomes the character
 * of the same value (U+0080 to U+00FF), so Latin-1 text reads correctly and nothing is lost. NULL for a NULL or unknown handle or when the text
 * cannot be built. Safe to call from several threads at once. */
ORVEL_API const char *ov_exif_to_json(const ov_meta *handle) OV_NOEXCEPT;

/* Releases the handle and every string it handed out; NULL, unknown and already freed handles
 * are ignored. */
ORVEL_API void ov_exif_meta_free(ov_meta *handle) OV_NOEXCEPT;

/* ---- Metadata editing and stripping ------------------------------------------------------ */

/* An editable copy of the EXIF tags (IFD0, Exif and GPS directories) of one file or buffer.
 * Writing lays the EXIF block out afresh: the thumbnail directory and the Interop directory
 * are not carried; maker notes are kept, their inner offsets moved with them. Threads may
 * share an edit handle: calls on one handle run one at a time (a write waits for a setter
 * running in another thread, and sees its change or not, never half of it). */
typedef struct ov_edit ov_edit;

/* Opens the EXIF of the file at path (JPEG, TIFF, PNG, WebP, HEIF/AVIF) for editing and stores
 * a new handle in *out; 0. A file without EXIF, or one that cannot be read, opens empty (the
 * failure shows when writing). At most 64 MiB of values are loaded; the entries of a hostile
 * file beyond that are dropped. 2 when path or out is NULL, 1 on an internal failure; *out is
 * NULL on failure. Free with ov_exif_edit_free(). */
ORVEL_API ov_status ov_exif_edit_open(const char *path, ov_edit **out) OV_NOEXCEPT;

/* As ov_exif_edit_open() for length bytes at data, which are copied into the handle (write
 * them back with ov_exif_edit_write_buffer()). 2 when out or data is NULL or length < 1. */
ORVEL_API ov_status ov_exif_edit_open_buffer(const uint8_t *data, int64_t length,
                                             ov_edit **out) OV_NOEXCEPT;

/* Sets one tag from text by its exact, case-sensitive name: ImageDescription, Make, Model,
 * Orientation, Software, DateTime, Artist, HostComputer, Rating, Copyright, ExposureTime,
 * FNumber, ExposureProgram, ISO, DateTimeOriginal, CreateDate, ExposureCompensation,
 * MeteringMode, Flash, FocalLength, UserComment or LensModel. Numbers are decimal, several
 * separated by spaces or commas; rationals are written 1/250. 0 on success; 4 for an unknown
 * name or a value that does not parse (nothing changes); 2 for a NULL argument or an unknown
 * handle. */
ORVEL_API ov_status ov_exif_edit_set_tag(ov_edit *handle, const char *name,
                                         const char *value) OV_NOEXCEPT;

/* Set Artist, Software, or the capture date (DateTimeOriginal, CreateDate and DateTime, as
 * given: "YYYY:MM:DD HH:MM:SS" is the caller's business). NULL or unknown arguments are
 * ignored. */
ORVEL_API void ov_exif_set_artist(ov_edit *handle, const char *text) OV_NOEXCEPT;
ORVEL_API void ov_exif_set_software(ov_edit *handle, const char *text) OV_NOEXCEPT;
ORVEL_API void ov_exif_set_datetime(ov_edit *handle, const char *text) OV_NOEXCEPT;

/* Sets the GPS position: signed decimal degrees (south and west negative) and metres (below
 * sea level negative, kept to hundredths). Other GPS tags are kept. A value that is not finite
 * or too large for the EXIF fields changes nothing; an unknown handle is ignored. */
ORVEL_API void ov_exif_set_gps(ov_edit *handle, double latitude, double longitude,
                               double altitude) OV_NOEXCEPT;

/* Removes every tag from the edit, so writing leaves an empty EXIF block. */
ORVEL_API void ov_exif_strip_all(ov_edit *handle) OV_NOEXCEPT;

/* Releases the handle; NULL, unknown and already freed handles are ignored. */
ORVEL_API void ov_exif_edit_free(ov_edit *handle) OV_NOEXCEPT;

/* Writes the edit into a copy of its source file's current bytes and saves it at destination
 * (the source itself when destination is NULL or ""), through a temporary file next to it
 * (destination + ".orvel-" + pid + ".tmp") that is synced and renamed over it; an existing
 * file's permission bits are kept. A destination that is a symbolic link is followed: the
 * file it names is replaced (its temporary file beside it) and the link stays as it was.
 * 0 on success; 4 when the file cannot be written (unknown container, a TIFF with image data,
 * EXIF too large for JPEG, malformed file, a chunk or box cut short, unreadable source, a
 * leftover temporary file, any write failure), the destination then untouched; 2 for an
 * unknown handle or one opened from a buffer; 1 on an internal failure. */
ORVEL_API ov_status ov_exif_edit_write(ov_edit *handle, const char *destination) OV_NOEXCEPT;

/* Writes the edit into a copy of the bytes the handle was opened from, stored in a new buffer
 * in *out (length in *outLength) that the caller frees with ov_exif_buffer_free(). 0 on
 * success; 4 when the bytes cannot be written; 2 for NULL out pointers, an unknown handle or
 * one opened from a path; 1 on an internal failure. *out is NULL unless 0 is returned. */
ORVEL_API ov_status ov_exif_edit_write_buffer(ov_edit *handle, uint8_t **out,
                                              int64_t *outLength) OV_NOEXCEPT;

/* Saves a copy of the image at source without its metadata at destination (safely, as
 * ov_exif_edit_write() does): JPEG loses APP1 (EXIF, XMP), APP13 (IPTC) and COM segments, its
 * Multi-Picture index (APP2 "MPF") and everything after the end of its image (IPTC and XMP
 * trailers, further images with their own EXIF); PNG its eXIf and text chunks and whatever
 * follows its IEND chunk; WebP its EXIF and XMP chunks; HEIF/AVIF have their Exif and XMP
 * items blanked in place. Pixels are not touched. 0 on success; 4 when the file cannot be stripped or written (TIFF, Canon CR3 raw
 * files, whose EXIF lives in the movie box rather than in items, and unknown formats, a
 * malformed file, a chunk or box cut short by truncation); 2 for a NULL path. */
ORVEL_API ov_status ov_exif_strip_file(const char *source, const char *destination) OV_NOEXCEPT;

/* As ov_exif_strip_file() for length bytes at data; the result goes to a new buffer in *out
 * (length in *outLength), freed with ov_exif_buffer_free(). 2 for NULL pointers or length < 1,
 * 4 when the bytes cannot be stripped. */
ORVEL_API ov_status ov_exif_strip_buffer(const uint8_t *data, int64_t length, uint8_t **out,
                                         int64_t *outLength) OV_NOEXCEPT;

/* ---- Images ------------------------------------------------------------------------------ */

/* An image: 8-bit samples, channels interleaved, rows top to bottom without padding. */
typedef struct ov_image ov_image;

/* Colour layouts (ov_image_get_colorspace, ov_image_from_pixels) with their channel counts:
 * 0 gray (1), 1 RGB (3), 2 RGBA (4, straight alpha; HEIF/AVIF decode premultiplied),
 * 3 CMYK ink values of a separated TIFF (4), 4 and 5 carried but not interpreted (3 and 1). */
#define OV_IMAGE_GRAY 0
#define OV_IMAGE_RGB 1
#define OV_IMAGE_RGBA 2

/* Decodes PNG, baseline JPEG, BMP, QOI, PNM/PAM, PCX, lossless WebP, GIF (the first frame),
 * classic TIFF (the first image) and HEIF/AVIF (where the system has the codec), detected from
 * the leading bytes, into a new handle. hint 0 to 7 detect; 8 decodes as TGA (which has no
 * signature), 9 as WebP, 10 as TIFF; hint outside 0..10, NULL data or length < 1 give 2. A
 * truncated or malformed input gives 2, an unknown format or an unsupported variant 4. On failure
 * *out is NULL. A file declaring a huge image with little data fails without taking the memory
 * it declares; images of more than 2^30 pixels are refused. */
ORVEL_API ov_status ov_image_decode_buffer(const uint8_t *data, int64_t length, int32_t hint,
                                           ov_image **out) OV_NOEXCEPT;

/* A new image from width x height pixels of the given layout: source holds exactly
 * width * height * channels bytes (else 2). */
ORVEL_API ov_status ov_image_from_pixels(int32_t width, int32_t height, int32_t colorspace,
                                         const uint8_t *source, int64_t sourceLength,
                                         ov_image **out) OV_NOEXCEPT;

/* Encodes into a new buffer the caller releases with ov_image_buffer_free(): format 1 PNG,
 * 2 JPEG, 3 BMP, 4 QOI, 5 PNM/PAM, 8 TGA (others give 4). quality (JPEG) is clamped to 1..100. A
 * layout the format cannot hold gives 4; a buffer that cannot be allocated 8. */
ORVEL_API ov_status ov_image_encode(ov_image *handle, int32_t format, int32_t quality,
                                    uint8_t **out, int64_t *outLength) OV_NOEXCEPT;

/* Width, height, channels (bytes per pixel) and layout; 0 for a NULL or unknown handle. */
ORVEL_API int32_t ov_image_width(const ov_image *handle) OV_NOEXCEPT;
ORVEL_API int32_t ov_image_height(const ov_image *handle) OV_NOEXCEPT;
ORVEL_API int32_t ov_image_channels(const ov_image *handle) OV_NOEXCEPT;
ORVEL_API uint8_t ov_image_get_colorspace(const ov_image *handle) OV_NOEXCEPT;

/* The image's own pixel bytes (width * height * channels of them), valid while the handle
 * lives; the caller does not free them. */
ORVEL_API ov_status ov_image_pixels(const ov_image *handle, const uint8_t **outPixels,
                                    int64_t *outLength) OV_NOEXCEPT;

/* Releases the image; NULL and unknown handles are ignored. */
ORVEL_API void ov_image_free(ov_image *handle) OV_NOEXCEPT;

/* Adds a reference to a live image handle and returns it (NULL for a NULL or unknown handle).
 * The library's own functions use it to hold an image for the length of an operation. */
ORVEL_API ov_image *imgOf(ov_image *handle) OV_NOEXCEPT;

/* Decodes the JPEG thumbnail that the EXIF block of a file's bytes carries (JPEG, TIFF, PNG, WebP
 * or HEIF/AVIF; the block's IFD1 names it) into a new handle, at its stored size. 2 for NULL
 * pointers or length < 1; 4 when the bytes have no EXIF block or the block no thumbnail; a
 * thumbnail that does not decode gives the decoder's status (2, or 4 for an unsupported variant).
 * On failure *out is NULL. */
ORVEL_API ov_status ov_image_thumbnail(const uint8_t *data, int64_t length,
                                       ov_image **out) OV_NOEXCEPT;

/* The encoder a format number of ov_image_encode names (1 PNG gives 0, 2 JPEG 1, 3 BMP 2,
 * 4 QOI 3, 5 PNM 4, 8 TGA 5), or -1 for a number that names none. */
ORVEL_API int32_t encodeFmtFromCint(int32_t value) OV_NOEXCEPT;

/* ---- Image processing -------------------------------------------------------------------- */

/* Each function that makes an image stores a new handle in *out (NULL on failure; a NULL out
 * gives 2 without writing) and leaves the source handle unchanged. Bad arguments, unknown
 * handles and refused work give 2. */

/* Resampling filters of ov_image_resize. */
#define OV_FILTER_NEAREST 0
#define OV_FILTER_BILINEAR 1 /* two samples around each position, at any ratio */
#define OV_FILTER_BOX 2      /* area average */

/* A width x height copy of the image (same layout) resampled with the given filter; RGBA colour
 * is weighted by alpha. Width or height below 1, a filter outside 0..2, or an output or
 * intermediate of more than 2^30 pixels give 2. */
ORVEL_API ov_status ov_image_resize(const ov_image *handle, int32_t width, int32_t height,
                                    int32_t filter, ov_image **out) OV_NOEXCEPT;

/* Rotations and mirrors of ov_image_rotate. */
#define OV_ROTATE_CW90 0  /* output height x width */
#define OV_ROTATE_180 1
#define OV_ROTATE_CCW90 2 /* output height x width */
#define OV_FLIP_HORIZONTAL 3 /* mirror left-right */
#define OV_FLIP_VERTICAL 4   /* mirror top-bottom */

/* The image turned or mirrored by one of the operations above (others give 2). */
ORVEL_API ov_status ov_image_rotate(const ov_image *handle, int32_t operation,
                                    ov_image **out) OV_NOEXCEPT;

/* The upright image of one stored with EXIF orientation 1..8 (1 gives a copy; others give 2). */
ORVEL_API ov_status ov_image_apply_orientation(const ov_image *handle, uint32_t orientation,
                                               ov_image **out) OV_NOEXCEPT;

/* The width x height rectangle whose top-left pixel is (x, y); a negative position, a size
 * below 1 or a rectangle reaching outside the image gives 2. */
ORVEL_API ov_status ov_image_crop(const ov_image *handle, int32_t x, int32_t y, int32_t width,
                                  int32_t height, ov_image **out) OV_NOEXCEPT;

/* Puts source (gray, RGB or RGBA) over the RGBA destination, changing the destination's own
 * pixels: the source's top-left pixel lands at (x, y) (either may be negative), clipped to the
 * destination, at opacity 0..255 (straight alpha, results rounded to nearest). The source may be
 * the destination itself. A destination that is not RGBA, a CMYK or uninterpreted source, or
 * an opacity above 255 gives 2. */
ORVEL_API ov_status ov_image_composite_over(ov_image *destination, const ov_image *source,
                                            int32_t x, int32_t y, uint32_t opacity) OV_NOEXCEPT;

/* The filter (0..2) and the rotate operation (0..4) a C number names, or -1 for a number that
 * names none. */
ORVEL_API int32_t filterFromCint(uint32_t code) OV_NOEXCEPT;
ORVEL_API int32_t rotateOpFromCint(uint32_t code) OV_NOEXCEPT;

/* ---- Palettes ---------------------------------------------------------------------------- */

/* A few representative colours of an image, in the colour space the extraction worked in. */
typedef struct ov_palette ov_palette;

/* One colour: three components in the space named by `space`, and alpha (palette colours
 * always have alpha 1). 20 bytes. Space tags and their component scales:
 *   1 srgb, 3 p3, 5 rec2020, 7 a98, 9 prophoto (encoded, 0-1), 2, 4, 6, 8, 10 their linear
 *   forms; 11 xyz and 12 xyy (Y of white = 1; x, y, Y); 13 lab and 14 lch (CIELAB relative to
 *   D50, L 0-100, h in degrees); 15 oklab and 16 oklch (L 0-1); 17 hsv, 18 hsl, 19 hwb (h in
 *   degrees, the others 0-1); 20 cmyk (C, M, Y = 1 - R', G', B', with K = 0); 21 ycbcr (BT.709
 *   weights, Y 0-1, Cb and Cr -0.5-0.5); 22 ictcp and 23 jzazbz (media white at 203 cd/m^2);
 *   24 cam16 (J, C, h), 25 cam16-ucs (J', a', b'), 26 hct (hue, chroma, tone 0-100), under
 *   the CAM16 default viewing conditions of Material Color Utilities. */
typedef struct ov_color {
  float c0, c1, c2;
  float alpha;
  uint32_t space;
} ov_color;

/* Options of an extraction; pass NULL for the defaults (seed 0, max_iterations 20, the rest
 * 0). max_iterations bounds the k-means iterations and sets the training passes of
 * "neuquant" (below 2 means one pass; its time grows with pixels x passes x n); weighted (non-zero) refines the k-means centroids with
 * each pixel weighted by its OKLab chroma plus one. parallel and threads are accepted; all
 * work runs on the calling thread. */
typedef struct ov_quantize_opts {
  int64_t seed;
  int32_t max_iterations;
  int32_t weighted;
  int32_t parallel;
  int32_t threads;
} ov_quantize_opts;

/* Reduces a Gray, RGB or RGBA image to at most n colours and stores a new palette handle in
 * *out. algorithm is one of "wu" (the default when NULL), "kmeans", "kmeansPP", "medianCut",
 * "octree", "neuquant" (exact, case-sensitive); work_space is the tag of the space the
 * algorithm works in (0 means 15, OKLab); the palette's colours are in that space. The same
 * image, arguments and seed always give the same palette. Fewer than n colours come back when
 * the image has fewer (Wu, median cut, octree). Returns 0; 2 when out is NULL, the image handle
 * is NULL or unknown, n < 1, the image's layout is not Gray, RGB or RGBA, the space is unknown
 * or a pixel cannot be expressed in it (black in xyy), the k-means algorithms are asked for a
 * space other than OKLab or for more colours than pixels ("neuquant" likewise), or another
 * option is out of range; 4 for an unknown algorithm. *out is NULL unless 0 is returned. Free
 * the palette with ov_palette_free(). */
ORVEL_API ov_status ov_image_extract_palette(const ov_image *image, int32_t n,
                                             const char *algorithm, uint32_t work_space,
                                             const ov_quantize_opts *opts,
                                             ov_palette **out) OV_NOEXCEPT;

/* The number of colours; 0 for a NULL or unknown handle. */
ORVEL_API int64_t ov_palette_len(const ov_palette *palette) OV_NOEXCEPT;

/* Copies colour index (0-based) into *out and returns 0; 2 for a NULL out, a NULL or unknown
 * handle, or an index outside [0, ov_palette_len()). */
ORVEL_API ov_status ov_palette_color_at(const ov_palette *palette, int64_t index,
                                        ov_color *out) OV_NOEXCEPT;

/* The palette's kind (1 for every extracted palette), intent (0) and the seed it was extracted
 * with; 0 for a NULL or unknown handle. */
ORVEL_API uint8_t ov_palette_tag(const ov_palette *palette) OV_NOEXCEPT;
ORVEL_API uint8_t ov_palette_intent(const ov_palette *palette) OV_NOEXCEPT;
ORVEL_API uint64_t ov_palette_seed(const ov_palette *palette) OV_NOEXCEPT;

/* Releases the palette; NULL, unknown and already freed handles are ignored. */
ORVEL_API void ov_palette_free(ov_palette *palette) OV_NOEXCEPT;

/* The colour record of these five fields. */
ORVEL_API ov_color toOvColor(float c0, float c1, float c2, float alpha,
                             uint32_t space) OV_NOEXCEPT;

/* Adds one reference to a live palette handle and returns it (NULL for a NULL or unknown
 * handle). The library uses it to hold a palette for the length of a call; no exported
 * function drops that reference, so a palette passed here outlives ov_palette_free(). */
ORVEL_API ov_palette *paletteOf(ov_palette *palette) OV_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* ORVEL_H */
