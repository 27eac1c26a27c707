/* The slide codec's interface: one record and six entry points with C
 * linkage, in the shape of the classic JPEG-library interface the program
 * was designed around. The library itself (codec/) is built on its own, packed into
 * the slide archive as "ijl10.dll" and loaded at run time; the program never
 * links it.
 *
 * Only ijlInit, ijlRead (parameter read and whole-image read, from memory)
 * and ijlFree are used. ijlWrite exists so that every entry point resolves,
 * but encoding is not supported: it returns IJL_UNSUPPORTED_OPERATION. */
#ifndef VELMORA_CODEC_IJL_H
#define VELMORA_CODEC_IJL_H

#ifdef __cplusplus
extern "C" {
#endif

/* In C++ the enumerations get a fixed underlying type, int, as their C
 * counterparts have in practice: a status or I/O type that arrives from
 * outside (an unknown code handed to ijlErrorStr, a wrong iotype) is then a
 * well-defined value the library can reject, not an out-of-range enum. */
#ifdef __cplusplus
#define IJL_ENUM_BASE : int
#else
#define IJL_ENUM_BASE
#endif

#if defined(_WIN32) && defined(VELMORA_CODEC_BUILD)
#define IJLAPI __declspec(dllexport)
#elif defined(VELMORA_CODEC_BUILD)
#define IJLAPI __attribute__((visibility("default")))
#else
#define IJLAPI
#endif

typedef enum IJL_ENUM_BASE {
  IJL_OK = 0,
  IJL_INVALID_ENCODER = -1,       /* no record, or the record is not initialised */
  IJL_MEMORY_ERROR = -2,
  IJL_BAD_PARAMETER = -3,         /* an unknown I/O type, a bad DIB description */
  IJL_NO_INPUT = -4,              /* no JPEG bytes */
  IJL_BAD_STREAM = -5,            /* truncated, corrupt or not a JPEG */
  IJL_SIZE_MISMATCH = -6,         /* the picture is not DIBWidth x DIBHeight */
  IJL_UNSUPPORTED_STREAM = -7,    /* a JPEG the decoder cannot read */
  IJL_UNSUPPORTED_OPERATION = -8, /* encoding, file I/O */
  IJL_DECODER_UNAVAILABLE = -9    /* the system decoder could not be started */
} IJLERR;

typedef enum IJL_ENUM_BASE {
  IJL_JFILE_READPARAMS = 0,
  IJL_JBUFF_READPARAMS = 1,
  IJL_JFILE_READWHOLEIMAGE = 2,
  IJL_JBUFF_READWHOLEIMAGE = 3
} IJLIOTYPE;

typedef enum IJL_ENUM_BASE {
  IJL_OTHER = 0,
  IJL_RGB = 1,
  IJL_BGR = 2,
  IJL_YCBCR = 3,
  IJL_G = 4,
  IJL_RGBA_FPX = 5
} IJL_COLOR;

typedef struct {
  int major;
  int minor;
  int build;
  const char* Name;
  const char* Version;
  const char* InternalVersion;
  const char* BuildDate;
  const char* CallConv;
} IJLibVersion;

/* The DIB pad rule: bytes after each row so that rows start on 4 bytes. */
#define IJL_DIB_PAD_BYTES(width, channels) ((((width) * (channels) + 3) & ~3) - (width) * (channels))

typedef struct {
  /* The picture in memory (output of a read). */
  unsigned char* DIBBytes;
  int DIBWidth;
  int DIBHeight;
  int DIBPadBytes;
  int DIBChannels;
  IJL_COLOR DIBColor;

  /* The JPEG stream (input of a read). */
  const char* JPGFile;
  const unsigned char* JPGBytes;
  int JPGSizeBytes;
  int JPGWidth;
  int JPGHeight;
  int JPGChannels;
  IJL_COLOR JPGColor;

  /* The library's own state between ijlInit and ijlFree. */
  void* jprops;
} JPEG_CORE_PROPERTIES;

typedef IJLERR (*IjlInitFn)(JPEG_CORE_PROPERTIES* jcprops);
typedef IJLERR (*IjlFreeFn)(JPEG_CORE_PROPERTIES* jcprops);
typedef IJLERR (*IjlReadFn)(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype);
typedef IJLERR (*IjlWriteFn)(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype);
typedef const IJLibVersion* (*IjlGetLibVersionFn)(void);
typedef const char* (*IjlErrorStrFn)(IJLERR code);

/* Sets every field of the record to its default (no DIB, no stream,
 * DIBChannels 4, DIBColor IJL_RGBA_FPX, JPGColor IJL_YCBCR) and gives it the
 * decoder state in jprops. Whatever the record held is overwritten: release
 * an initialised record with ijlFree first. IJL_OK, or IJL_INVALID_ENCODER
 * for no record, IJL_MEMORY_ERROR, IJL_DECODER_UNAVAILABLE (the record is
 * then left without state). On Windows the record belongs to the thread that
 * initialised it: the decoder uses COM on that thread until ijlFree. */
IJLAPI IJLERR ijlInit(JPEG_CORE_PROPERTIES* jcprops);

/* Releases the state of an initialised record and clears jprops; a record
 * without state is left as it is. IJL_OK, or IJL_INVALID_ENCODER for no
 * record. */
IJLAPI IJLERR ijlFree(JPEG_CORE_PROPERTIES* jcprops);

/* Reads the JPEG stream at JPGBytes (JPGSizeBytes bytes); nothing is read
 * from files.
 *
 * IJL_JBUFF_READPARAMS fills JPGWidth, JPGHeight and JPGChannels (1 for
 * grey, 3 for colour); after a failure they are 0.
 *
 * IJL_JBUFF_READWHOLEIMAGE decodes the picture into the DIB: DIBHeight rows
 * of DIBWidth pixels starting at DIBBytes, top row first, each row
 * DIBWidth * DIBChannels + DIBPadBytes bytes after the one before. A pixel
 * is 4 bytes, red, green, blue and 255. The DIB must be DIBChannels 4,
 * DIBColor IJL_RGBA_FPX, DIBPadBytes >= 0, and exactly the picture's size.
 * Only pixel bytes of the DIB are ever written: not the pad bytes, nothing
 * before or after. The DIB is left untouched when the description or the
 * size is wrong or the stream is found truncated, not a JPEG or of a kind
 * the decoder does not read. Coded data that turns out corrupt while
 * decoding leaves as much of the picture as could be decoded; libjpeg-turbo
 * (Linux) reports it as IJL_BAD_STREAM, the Windows Imaging Component may
 * pass over it without a word.
 *
 * Grey, baseline, extended and progressive Huffman-coded JPEGs of 8-bit
 * precision with one or three components are read. Arithmetic-coded,
 * lossless, hierarchical, 12-bit and four-component (CMYK) JPEGs give
 * IJL_UNSUPPORTED_STREAM. The IJL_JFILE_* types give
 * IJL_UNSUPPORTED_OPERATION, any other value IJL_BAD_PARAMETER. */
IJLAPI IJLERR ijlRead(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype);

/* Encoding is not supported: always IJL_UNSUPPORTED_OPERATION. */
IJLAPI IJLERR ijlWrite(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype);

/* The library's version record; static, valid while the library is loaded. */
IJLAPI const IJLibVersion* ijlGetLibVersion(void);

/* A short English text for a status; unknown codes get a text too. The
 * text is static. */
IJLAPI const char* ijlErrorStr(IJLERR code);

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_CODEC_IJL_H */
