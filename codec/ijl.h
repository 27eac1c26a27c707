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

#if defined(_WIN32) && defined(VELMORA_CODEC_BUILD)
#define IJLAPI __declspec(dllexport)
#elif defined(VELMORA_CODEC_BUILD)
#define IJLAPI __attribute__((visibility("default")))
#else
#define IJLAPI
#endif

typedef enum {
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

typedef enum {
  IJL_JFILE_READPARAMS = 0,
  IJL_JBUFF_READPARAMS = 1,
  IJL_JFILE_READWHOLEIMAGE = 2,
  IJL_JBUFF_READWHOLEIMAGE = 3
} IJLIOTYPE;

typedef enum {
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

IJLAPI IJLERR ijlInit(JPEG_CORE_PROPERTIES* jcprops);
IJLAPI IJLERR ijlFree(JPEG_CORE_PROPERTIES* jcprops);
IJLAPI IJLERR ijlRead(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype);
IJLAPI IJLERR ijlWrite(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype);
IJLAPI const IJLibVersion* ijlGetLibVersion(void);
IJLAPI const char* ijlErrorStr(IJLERR code);

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_CODEC_IJL_H */
