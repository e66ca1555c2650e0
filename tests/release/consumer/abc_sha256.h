/* abc_sha256.h: the SHA-256 of "abc" as a synchronous TelvarnHX job writes it. */
#ifndef ABC_SHA256_H
#define ABC_SHA256_H

/* Writes the 64 hexadecimal characters and a NUL into text; returns 0, or -1 when
   a TelvarnHX call fails. */
int AbcSha256(char text[65]);

#endif
