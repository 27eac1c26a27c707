/* The tests' codec library: see test_codec.h. */
#include "tests/testcodec/test_codec.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

static TestCodecLog gLog;
static int gInitStatus = IJL_OK;
static int gStateMarker; /* jprops points here between ijlInit and ijlFree */

static void record(const char* name, int iotype, const JPEG_CORE_PROPERTIES* jcprops) {
  if (gLog.count >= TEST_CODEC_MAX_CALLS) return;
  TestCodecCall* call = &gLog.calls[gLog.count++];
  memset(call, 0, sizeof *call);
  snprintf(call->name, sizeof call->name, "%s", name);
  call->iotype = iotype;
  if (jcprops) call->record = *jcprops;
}

IJLAPI const TestCodecLog* testCodecLog(void) { return &gLog; }
IJLAPI void testCodecClearLog(void) { memset(&gLog, 0, sizeof gLog); }
IJLAPI void testCodecSetInitStatus(int status) { gInitStatus = status; }

IJLAPI const char* testCodecVariant(void) {
#ifdef TEST_CODEC_PARTIAL
  return "partial";
#else
  return "complete";
#endif
}

IJLAPI IJLERR ijlInit(JPEG_CORE_PROPERTIES* jcprops) {
  record("ijlInit", -1, jcprops);
  if (!jcprops) return IJL_INVALID_ENCODER;
  if (gInitStatus != IJL_OK) return (IJLERR)gInitStatus;
  /* Every field gets a value of the library's choosing, as a real codec's
   * defaults would be; the program has to set what it relies on. */
  memset(jcprops, 0, sizeof *jcprops);
  jcprops->JPGColor = IJL_RGB;
  jcprops->DIBColor = IJL_BGR;
  jcprops->DIBChannels = 3;
  jcprops->jprops = &gStateMarker;
  return IJL_OK;
}

IJLAPI IJLERR ijlFree(JPEG_CORE_PROPERTIES* jcprops) {
  record("ijlFree", -1, jcprops);
  if (!jcprops || jcprops->jprops != &gStateMarker) return IJL_INVALID_ENCODER;
  jcprops->jprops = NULL;
  return IJL_OK;
}

static int readHeader(const JPEG_CORE_PROPERTIES* jcprops, int* width, int* height) {
  const unsigned char* bytes = jcprops->JPGBytes;
  if (!bytes || jcprops->JPGSizeBytes < TEST_CODEC_HEADER_BYTES || bytes[0] != 'T' || bytes[1] != 'C') return 0;
  *width = bytes[2] | (bytes[3] << 8);
  *height = bytes[4] | (bytes[5] << 8);
  return 1;
}

IJLAPI IJLERR ijlRead(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype) {
  int width = 0;
  int height = 0;
  record("ijlRead", (int)iotype, jcprops);
  if (!jcprops || jcprops->jprops != &gStateMarker) return IJL_INVALID_ENCODER;
  if (!readHeader(jcprops, &width, &height)) return IJL_BAD_STREAM;
  if (iotype == IJL_JBUFF_READPARAMS) {
    jcprops->JPGWidth = width;
    jcprops->JPGHeight = height;
    jcprops->JPGChannels = 3;
    return IJL_OK;
  }
  if (iotype != IJL_JBUFF_READWHOLEIMAGE) return IJL_BAD_PARAMETER;
  if (!jcprops->DIBBytes || jcprops->DIBChannels != 4 || jcprops->DIBColor != IJL_RGBA_FPX ||
      jcprops->DIBPadBytes != 0) {
    return IJL_BAD_PARAMETER;
  }
  if (jcprops->DIBWidth != width || jcprops->DIBHeight != height) return IJL_SIZE_MISMATCH;
  {
    const size_t bytes = (size_t)width * (size_t)height * 4u;
    if ((size_t)jcprops->JPGSizeBytes - TEST_CODEC_HEADER_BYTES < bytes) return IJL_BAD_STREAM;
    memcpy(jcprops->DIBBytes, jcprops->JPGBytes + TEST_CODEC_HEADER_BYTES, bytes);
  }
  return IJL_OK;
}

IJLAPI IJLERR ijlWrite(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype) {
  record("ijlWrite", (int)iotype, jcprops);
  return IJL_UNSUPPORTED_OPERATION;
}

IJLAPI const IJLibVersion* ijlGetLibVersion(void) {
  static const IJLibVersion version = {1, 0, 0, "test codec", "1.0", "1.0", "-", "cdecl"};
  record("ijlGetLibVersion", -1, NULL);
  return &version;
}

#ifndef TEST_CODEC_PARTIAL
IJLAPI const char* ijlErrorStr(IJLERR code) {
  record("ijlErrorStr", (int)code, NULL);
  return code == IJL_OK ? "ok" : "error";
}
#endif
