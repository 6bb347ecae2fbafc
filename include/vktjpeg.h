// Public interface of the JPEG decoder (libvktjpeg.so): the caller-owned
// record JPEG_PROPERTIES, the status, colour and read-mode codes, and the
// four operations on the record.
//
// The record is contiguous and has no pointer back to the caller. Its first
// 21 fields are the public part, in a fixed order; then come the decoder
// controls that a caller may set after JpegInit (comment buffer, transform
// kind, region, interrupt); the rest is the decoder's state, opaque here.
// The record points into itself once initialised: never copy it.
#pragma once
#include <stdint.h>

// vktjpeg.dll exports the four operations; its callers import them. The
// decoder's own build defines VKT_JPEG_BUILD. The operations use the C
// calling convention (__cdecl), whatever the caller's default.
#if defined(_WIN32)
#if defined(VKT_JPEG_BUILD)
#define VKT_JPEG_API __declspec(dllexport)
#else
#define VKT_JPEG_API __declspec(dllimport)
#endif
#define VKT_JPEG_CALL __cdecl
#else
#define VKT_JPEG_CALL
#define VKT_JPEG_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define VKT_JPEG_ALIGN64 alignas(64)
extern "C" {
#else
#define VKT_JPEG_ALIGN64 _Alignas(64)
#endif

// Status of every operation. 0, 1 and 2 are successes.
typedef int32_t JpegStatus;
enum {
  JPEG_ROI_SUCCESS = 2,
  JPEG_INTERRUPT_SUCCESS = 1,
  JPEG_SUCCESS = 0,
  JPEG_ERR_EXCEPTION = -1,
  JPEG_ERR_INVALID_ENCODER = -2,
  JPEG_ERR_UNSUPPORTED_SUBSAMPLING = -3,
  JPEG_ERR_UNSUPPORTED_BYTES_PER_PIXEL = -4,
  JPEG_ERR_MEMORY = -5,
  JPEG_ERR_BAD_HUFFMAN_TABLE = -6,
  JPEG_ERR_BAD_QUANT_TABLE = -7,
  JPEG_ERR_INVALID_PROPERTIES = -8,
  JPEG_ERR_CLOSE_FILE = -9,
  JPEG_ERR_FILE_NAME = -10,
  JPEG_ERR_EOF = -11,
  JPEG_ERR_NOT_SUPPORTED = -12,
  JPEG_ERR_NOT_JPEG = -13,
  JPEG_ERR_COMPONENTS = -14,
  JPEG_ERR_SOF = -15,
  JPEG_ERR_DNL = -16,
  JPEG_ERR_NO_HUFFMAN_TABLE = -17,
  JPEG_ERR_NO_QUANT_TABLE = -18,
  JPEG_ERR_NO_FRAME = -19,
  JPEG_ERR_MULTIPLE_FRAMES = -20,
  JPEG_ERR_DATA = -21,
  JPEG_ERR_NO_IMAGE = -22,
  JPEG_ERR_FILE = -23,
  JPEG_ERR_INTERNAL = -24,
  JPEG_ERR_BAD_RST = -25,
  JPEG_ERR_THUMBNAIL_TOO_SMALL = -26,
  JPEG_ERR_THUMBNAIL_COLOR = -27,
  JPEG_ERR_OUTPUT_TOO_SMALL = -28,
  JPEG_ERR_UNSUPPORTED_FRAME = -29,
  JPEG_ERR_COMMENT_BUFFER = -30,
  JPEG_ERR_RESERVED = -99
};

// Colour layouts of the stream and of the output picture.
typedef uint32_t JpegColor;
enum {
  COLOR_RGB = 1,         // bytes red, green, blue
  COLOR_BGR = 2,         // bytes blue, green, red
  COLOR_YCBCR = 3,
  COLOR_GRAY = 4,
  COLOR_FOUR = 5,        // four channels without colour transform
  COLOR_YCBCR_FOUR = 6,  // YCbCr plus a fourth channel
  COLOR_OTHER = 255
};

// Read modes: even modes read the file named by jpeg_file_name, odd modes
// read jpeg_bytes / jpeg_size_bytes. Modes 8 to 13 (writing) are refused.
typedef int32_t JpegReadMode;
enum {
  MODE_NONE = -1,
  READ_PARAMS_FILE = 0,
  READ_PARAMS_BUFFER = 1,
  READ_IMAGE_FILE = 2,
  READ_IMAGE_BUFFER = 3,
  READ_HEADER_FILE = 4,
  READ_HEADER_BUFFER = 5,
  READ_ENTROPY_FILE = 6,
  READ_ENTROPY_BUFFER = 7,
  READ_HALF_FILE = 14,
  READ_HALF_BUFFER = 15,
  READ_QUARTER_FILE = 16,
  READ_QUARTER_BUFFER = 17,
  READ_EIGHTH_FILE = 18,
  READ_EIGHTH_BUFFER = 19,
  READ_THUMBNAIL_FILE = 20,
  READ_THUMBNAIL_BUFFER = 21
};

// Region of interest in image pixels; right and bottom are exclusive.
typedef struct JpegRegion {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
} JpegRegion;

// Values of the JFIF APP0 and Adobe APP14 markers (defaults in brackets).
typedef struct JpegMarkerValues {
  uint32_t jfif_seen;        // [0]
  uint16_t jfif_version;     // [0x0101] major in the high byte
  uint8_t density_unit;      // [0]
  uint16_t x_density;        // [1]
  uint16_t y_density;        // [1]
  uint32_t adobe_seen;       // [0]
  uint16_t adobe_version;    // [100]
  uint16_t adobe_flags0;     // [0]
  uint16_t adobe_flags1;     // [0]
  uint32_t adobe_transform;  // [0] 0 = none, 1 = YCbCr, 2 = YCCK
} JpegMarkerValues;

// Bytes reserved for the decoder's state at the end of the record.
#define VKT_JPEG_STATE_BYTES 65536

typedef struct JPEG_PROPERTIES {
  // Public part (defaults are the values JpegInit stores).
  uint32_t use_inner_fields;           // 0: validate and copy fields 2..21 at every read
  uint8_t* picture_bytes;              // output picture (caller-owned)
  uint32_t picture_width;              // 0
  int32_t picture_height;              // 0; negative: bottom-up rows
  uint32_t picture_pad_bytes;          // 0; bytes after each output row
  uint32_t picture_channels;           // 3
  JpegColor picture_color;             // COLOR_BGR
  uint32_t picture_subsampling;        // 0; 2 = 2x1 chroma, only with COLOR_YCBCR
  const char* jpeg_file_name;          // for the file modes
  const uint8_t* jpeg_bytes;           // for the buffer modes (caller-owned)
  uint32_t jpeg_size_bytes;            // 0
  uint32_t jpeg_width;                 // set by a read
  uint32_t jpeg_height;                // set by a read
  uint32_t jpeg_channels;              // 3; set by a read
  JpegColor jpeg_color;                // COLOR_YCBCR; markers may override
  uint32_t jpeg_subsampling;           // 1; set by a read (0..4, 255)
  uint32_t thumbnail_width;            // set by a read; 0 without thumbnail
  uint32_t thumbnail_height;           // set by a read
  uint32_t color_conversion_required;  // 1
  uint32_t upsampling_required;        // 1
  uint32_t quality;                    // 75; kept only

  // Decoder controls, set by JpegInit, adjustable by the caller.
  JpegReadMode mode;           // mode of the current or last read (MODE_NONE)
  JpegRegion region;           // region of interest, all 0 = whole image
  uint32_t dct_kind;           // 1 = precise inverse DCT, 0 = fast
  uint32_t upsampling_kind;    // 0 = replication, 1 = triangle filter
  uint32_t interrupt;          // 0
  uint8_t* jpeg_comment;       // caller's comment buffer, or null
  uint16_t jpeg_comment_size;  // its size; after a read, the comment's length

  // Set by a successful read: the marker values taken so far.
  JpegMarkerValues markers;

  // Decoder state; meaningful only between JpegInit and JpegFree.
  VKT_JPEG_ALIGN64 unsigned char decoder_state[VKT_JPEG_STATE_BYTES];
} JPEG_PROPERTIES;

// Fills the defaults and sets up the processor-specific routines.
VKT_JPEG_API JpegStatus VKT_JPEG_CALL JpegInit(JPEG_PROPERTIES* properties);
// Performs one read in the given mode.
VKT_JPEG_API JpegStatus VKT_JPEG_CALL JpegRead(JPEG_PROPERTIES* properties, JpegReadMode mode);
// Releases everything the record holds; it may be initialised again.
VKT_JPEG_API JpegStatus VKT_JPEG_CALL JpegFree(JPEG_PROPERTIES* properties);
// Text of a status code; never null.
VKT_JPEG_API const char* VKT_JPEG_CALL JpegErrorText(JpegStatus status);

#ifdef __cplusplus
}
#endif
