/* consumer.c: prints the SHA-256 of "abc" as a synchronous TelvarnHX job writes it. */
#include <stdio.h>
#include <string.h>

#include "telvarn.h"

int main(void) {
  char input[] = "abc";
  char text[65] = {0}; /* the job writes 64 characters and no NUL */
  TelvarnVarDesc in, out;
  memset(&in, 0, sizeof in);
  memset(&out, 0, sizeof out);
  in.data = input;
  out.data = text;
  if (Telvarn_IO_Initialize(1, 0, 0, 0) != 0 || Telvarn_IO_Input_Set(&in, 1, TELVARN_MODE_MEMORY, 3) != 0 ||
      Telvarn_IO_Output_Set(&out, 1, TELVARN_MODE_MEMORY, 64) != 0 ||
      Telvarn_SHA256(1, TELVARN_RUN_NOW, TELVARN_PRIORITY_NORMAL, 0) != 0) {
    fprintf(stderr, "consumer: a TelvarnHX call failed\n");
    return 1;
  }
  printf("SHA256 %s\n", text);
  return 0;
}
