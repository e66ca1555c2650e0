/* abc_sha256.c: takes the SHA-256 of "abc" through TelvarnHX's exports. */
#include "abc_sha256.h"

#include <string.h>

#include "telvarn.h"

int AbcSha256(char text[65]) {
  static char input[] = "abc";
  TelvarnVarDesc in, out;
  memset(&in, 0, sizeof in);
  memset(&out, 0, sizeof out);
  memset(text, 0, 65); /* the job writes 64 characters and no NUL */
  in.data = input;
  out.data = text;
  if (Telvarn_IO_Initialize(1, 0, 0, 0) != 0 || Telvarn_IO_Input_Set(&in, 1, TELVARN_MODE_MEMORY, 3) != 0 ||
      Telvarn_IO_Output_Set(&out, 1, TELVARN_MODE_MEMORY, 64) != 0 ||
      Telvarn_SHA256(1, TELVARN_RUN_NOW, TELVARN_PRIORITY_NORMAL, 0) != 0) {
    return -1;
  }
  return 0;
}
