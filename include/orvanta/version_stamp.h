/* Orvanta SDK: the version stamp of a binary.
 *
 * The console reads the version of the files it works with (its own executable for the About
 * box, language packs against the executable, service modules) from a 52-byte fixed file
 * information block, the same block Windows keeps in a file's version resource. A binary
 * built for Linux carries the block in an ELF section named ORVANTA_VERSION_SECTION; the
 * console finds it there without loading the file. Any other file (a language pack, a PE file)
 * is searched for the block's signature followed by structure version 1.0.
 *
 * A module author stamps a module with one line in one C or C++ source file:
 *
 *     ORVANTA_VERSION_STAMP(1, 2, 0, 7, ORVANTA_VFT_DLL);
 *
 * C-compatible, fixed layout, little-endian fields. */
#ifndef ORVANTA_VERSION_STAMP_H
#define ORVANTA_VERSION_STAMP_H

#include <stdint.h>

#define ORVANTA_VERSION_SECTION ".orvanta_version"
#define ORVANTA_FIXED_FILE_INFO_SIGNATURE 0xFEEF04BDu
#define ORVANTA_FIXED_FILE_INFO_STRUC_VERSION 0x00010000u
#define ORVANTA_VFT_APP 1u
#define ORVANTA_VFT_DLL 2u

#ifdef __cplusplus
extern "C" {
#endif

/* Field for field the Windows VS_FIXEDFILEINFO. */
typedef struct OrvantaFixedFileInfo {
    uint32_t dwSignature;     /* ORVANTA_FIXED_FILE_INFO_SIGNATURE */
    uint32_t dwStrucVersion;  /* ORVANTA_FIXED_FILE_INFO_STRUC_VERSION */
    uint32_t dwFileVersionMS; /* major << 16 | minor */
    uint32_t dwFileVersionLS; /* build << 16 | revision */
    uint32_t dwProductVersionMS;
    uint32_t dwProductVersionLS;
    uint32_t dwFileFlagsMask;
    uint32_t dwFileFlags;
    uint32_t dwFileOS;
    uint32_t dwFileType; /* ORVANTA_VFT_APP or ORVANTA_VFT_DLL */
    uint32_t dwFileSubtype;
    uint32_t dwFileDateMS;
    uint32_t dwFileDateLS;
} OrvantaFixedFileInfo;

#ifdef __cplusplus
}
static_assert(sizeof(OrvantaFixedFileInfo) == 52, "fixed file information is 52 bytes");
#endif

/* Two 16-bit parts in one 32-bit word; unsigned arithmetic throughout, no casts, so the macro
 * is clean in C and C++ alike. */
#define ORVANTA_VERSION_WORD(high, low) ((((high)&0xFFFFu) << 16) | ((low)&0xFFFFu))

/* Defines the stamp of the binary this source file is linked into. `used` keeps it when nothing
 * refers to it; internal linkage keeps modules from exporting or clashing on it. */
#define ORVANTA_VERSION_STAMP(major, minor, build, revision, fileType)                      \
    __attribute__((used, section(ORVANTA_VERSION_SECTION),                                  \
                   aligned(4))) static const OrvantaFixedFileInfo orvanta_version_stamp = { \
        ORVANTA_FIXED_FILE_INFO_SIGNATURE,                                                  \
        ORVANTA_FIXED_FILE_INFO_STRUC_VERSION,                                              \
        ORVANTA_VERSION_WORD(major, minor),                                                 \
        ORVANTA_VERSION_WORD(build, revision),                                              \
        ORVANTA_VERSION_WORD(major, minor),                                                 \
        ORVANTA_VERSION_WORD(build, revision),                                              \
        0x3Fu,                                                                              \
        0u,                                                                                 \
        0u,                                                                                 \
        (fileType),                                                                         \
        0u,                                                                                 \
        0u,                                                                                 \
        0u}

#endif /* ORVANTA_VERSION_STAMP_H */
