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

#ifdef __cplusplus
}
#endif

#endif /* ORVEL_H */
