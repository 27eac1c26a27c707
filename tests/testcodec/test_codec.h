/* A small codec library for the tests of the slide source: it exports the
 * six entry points of the slide codec's interface (codec/ijl.h), decodes a
 * trivial picture format, and keeps a log of every call that the tests read
 * through the functions below.
 *
 * Picture format ("TC" pictures): the bytes 'T', 'C', the width and the
 * height as 16-bit little-endian numbers, then width * height pixels of four
 * bytes each in the order red, green, blue and a fourth byte, top row first.
 * A whole-image read writes exactly those bytes to DIBBytes.
 *
 * The library is built in two variants: "complete", and "partial", which
 * lacks ijlErrorStr. */
#ifndef VELMORA_TESTS_TEST_CODEC_H
#define VELMORA_TESTS_TEST_CODEC_H

#include "codec/ijl.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { TEST_CODEC_HEADER_BYTES = 6, TEST_CODEC_MAX_CALLS = 64 };

/* One call into the library, with the record as the call found it. */
typedef struct {
  char name[24]; /* "ijlInit", "ijlRead", "ijlFree", ... */
  int iotype;    /* ijlRead's second argument, else -1 */
  JPEG_CORE_PROPERTIES record;
} TestCodecCall;

typedef struct {
  int count;
  TestCodecCall calls[TEST_CODEC_MAX_CALLS];
} TestCodecLog;

/* The log since the last clear. */
IJLAPI const TestCodecLog* testCodecLog(void);
IJLAPI void testCodecClearLog(void);
/* The status the next calls of ijlInit return (IJL_OK at load). */
IJLAPI void testCodecSetInitStatus(int status);
/* "complete" or "partial". */
IJLAPI const char* testCodecVariant(void);

typedef const TestCodecLog* (*TestCodecLogFn)(void);
typedef void (*TestCodecClearLogFn)(void);
typedef void (*TestCodecSetInitStatusFn)(int status);
typedef const char* (*TestCodecVariantFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_TESTS_TEST_CODEC_H */
