/* A C99 host linked against telvarn.h and the import library: it initialises an IO,
 * binds a memory input and output, runs synchronous and queued jobs, and checks the
 * result texts. Exits 0 when every check holds. */
#include <stdio.h>
#include <string.h>

#include "telvarn.h"

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

static char input[] = "abc";
/* One byte beyond the largest room, so the text always ends in a NUL. */
static char output[TELVARN_DIGEST_TEXT_MAX + 2];

/* Binds IO 7's input to `input` and its output to a cleared `output`: a job ends
 * with its bindings used up. */
static void bind(const char* what) {
  TelvarnVarDesc in_var, out_var;
  memset(&in_var, 0, sizeof in_var);
  memset(&out_var, 0, sizeof out_var);
  in_var.data = input;
  out_var.data = output;
  memset(output, 0, sizeof output);
  check(Telvarn_IO_Input_Set(&in_var, 7, TELVARN_MODE_MEMORY, 0) == 0, what);
  check(Telvarn_IO_Output_Set(&out_var, 7, TELVARN_MODE_MEMORY, TELVARN_DIGEST_TEXT_MAX + 1) == 0, what);
}

int main(void) {
  check(Telvarn_IO_Initialize(7, 0, 0, 0) == 0, "initialise");
  bind("bind input and output");
  check(Telvarn_SHA256(7, TELVARN_RUN_NOW, TELVARN_PRIORITY_NORMAL, 0) == 0, "SHA-256 job");
  check(strcmp(output, "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD") == 0,
        "SHA-256 of abc");
  check(Telvarn_IO_State(7, 0, 0, 0) == -TELVARN_JOB_FINISHED, "finished state");
  {
    TelvarnProgressCounts counts;
    TelvarnVarDesc counts_var;
    memset(&counts_var, 0, sizeof counts_var);
    counts_var.data = &counts;
    check(Telvarn_IO_Progress(7, &counts_var, 0, 0) == TELVARN_PROGRESS_FINISHED, "progress of a finished job");
    check(counts.consumed_low == 3 && counts.consumed_high == 0 && counts.total_low == 3 && counts.total_high == 0,
          "progress counts: 3 bytes of 3");
  }

  bind("bind input and output again");
  check(Telvarn_CRC32(7, TELVARN_QUEUE, TELVARN_PRIORITY_HIGH, 0) == 0, "queued CRC-32 job");
  {
    /* The job may end during the wait's opening pause, and there is then nothing to wait on. */
    const int32_t waited = Telvarn_IO_Wait(7, 60000, 0, 0);
    check(waited == TELVARN_WAIT_ENDED || waited == TELVARN_WAIT_NOTHING, "wait for the queued job");
    check(Telvarn_IO_State(7, 0, 0, 0) == -TELVARN_JOB_FINISHED, "the queued job finished");
  }
  check(strcmp(output, "352441C2") == 0, "CRC-32 of abc");

  check(Telvarn_IO_Key_Set("key", 7, 0, 0) == 0, "set a key");
  bind("bind input and output for the keyed job");
  check(Telvarn_SHA256Key(7, TELVARN_RUN_NOW, TELVARN_PRIORITY_NORMAL, 0) == 0, "HMAC-SHA-256 job");
  check(strcmp(output, "9C196E32DC0175F86F4B1CB89289D6619DE6BEE699E4C378E68309ED97A1A6AB") == 0,
        "HMAC-SHA-256 of abc under key (Python's hmac)");
  check(Telvarn_IO_Key_Set("key", 99, 0, 0) == -1, "absent IO");

  if (failures == 0) printf("c_host: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
