/* consumer.c: prints the SHA-256 of "abc" as a synchronous TelvarnHX job writes it. */
#include <stdio.h>

#include "abc_sha256.h"

int main(void) {
  char text[65];
  if (AbcSha256(text) != 0) {
    fprintf(stderr, "consumer: a TelvarnHX call failed\n");
    return 1;
  }
  printf("SHA256 %s\n", text);
  return 0;
}
