// The exported functions (declared in telvarn.h): argument unpacking, IO lookup, results.
#include "telvarn.h"

#include "boundary/bindings.h"
#include "boundary/job_control.h"
#include "boundary/key_forms.h"
#include "codec/base64.h"
#include "codec/rsa_key.h"
#include "digest/jobs.h"
#include "engine/job.h"
#include "engine/job_launcher.h"
#include "engine/module.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

using telvarn::Direction;
using telvarn::IoSlot;
using telvarn::VarDesc;

// The platform's unbounded wait is the header's.
static_assert(telvarn::platform::kInfinite == TELVARN_WAIT_INFINITE);

// Every export in the table is declared in telvarn.h, and the header's pointer type
// takes its address: the same arguments, result and calling convention (only the
// declaration's noexcept is dropped).
#define TELVARN_EXPORT(ordinal, name, member)                                          \
  static_assert(std::is_convertible_v<decltype(&Telvarn_##name), PFN_Telvarn_##name>, \
                "PFN_Telvarn_" #name " in telvarn.h differs from the export");
#include "boundary/export_table.inc"
#undef TELVARN_EXPORT

namespace telvarn {
namespace {

// Each algorithm of the table has its number in telvarn.h, a name that fits the
// room Algorithm_Info promises, a result that fits TELVARN_DIGEST_TEXT_MAX, and a
// keyed job exactly when it says it has a keyed form, and a key rule exactly when
// that form is its own.
#define TELVARN_ALGORITHM(number, id, name, command, digits, key_form, key_rule, plain_job, keyed_job)       \
  static_assert(TELVARN_ALGORITHM_##id == (number), "TELVARN_ALGORITHM_" #id " in telvarn.h differs");       \
  static_assert(sizeof(name) <= TELVARN_ALGORITHM_NAME_ROOM, "the name of " #id " is too long");             \
  static_assert((digits) > 0 && (digits) <= TELVARN_DIGEST_TEXT_MAX, #id "'s text length");                  \
  static_assert(((key_form) != KeyForm::kNone) == !std::is_same_v<decltype(keyed_job), std::nullptr_t>,     \
                #id ": a keyed job exactly for a keyed form");                                              \
  static_assert(((key_form) == KeyForm::kOwn) == !std::is_same_v<decltype(key_rule), std::nullptr_t>,       \
                #id ": a key rule exactly for an own keyed form");
#include "boundary/algorithm_table.inc"
#undef TELVARN_ALGORITHM

struct KnownAlgorithm {
  int32_t number;
  const char* name;
  int32_t digits;
  const JobKind* plain;
  const JobKind* keyed;  // nullptr: no keyed form
  const KeyRule* key_rule;  // the own keyed form's; nullptr: any key text
};

constexpr KnownAlgorithm kKnownAlgorithms[] = {
#define TELVARN_ALGORITHM(number, id, name, command, digits, key_form, key_rule, plain_job, keyed_job) \
  {number, name, digits, plain_job, keyed_job, key_rule},
#include "boundary/algorithm_table.inc"
#undef TELVARN_ALGORITHM
};

// A number names one digest.
constexpr bool NumbersAreDistinct() {
  for (const KnownAlgorithm& one : kKnownAlgorithms) {
    int32_t seen = 0;
    for (const KnownAlgorithm& other : kKnownAlgorithms) seen += other.number == one.number ? 1 : 0;
    if (seen != 1) return false;
  }
  return true;
}
static_assert(NumbersAreDistinct(), "two rows of algorithm_table.inc share a number");

}  // namespace
}  // namespace telvarn

namespace {

using telvarn::KnownAlgorithm;

const KnownAlgorithm* FindAlgorithm(int32_t number) {
  for (const KnownAlgorithm& algorithm : telvarn::kKnownAlgorithms) {
    if (algorithm.number == number) return &algorithm;
  }
  return nullptr;
}

constexpr int32_t kDigestFlags = TELVARN_DIGEST_QUEUE | TELVARN_DIGEST_KEYED;

// Runs change(record) under the IO's exports lock. -1 for an absent IO, and for
// an IO whose job is launched, running or suspended: the job owns what the
// record held, and the call changes nothing.
template <class Change>
int32_t ChangeIdleIo(int32_t io, Change change) {
  IoSlot* slot = telvarn::module::slot_table().find(io);
  if (slot == nullptr) return -1;
  telvarn::platform::ScopedLock<telvarn::platform::Os::Mutex> hold(slot->exports_lock);
  if (slot->has_live_job()) return -1;
  return change(*slot);
}

// A record that names no memory: none at all, or one whose data is null. Memory
// that is there but unreadable is the host's to get right; a null pointer, the
// commonest slip, is refused before anything is read through it.
bool NamesNoMemory(const VarDesc* var) { return var == nullptr || var->data == nullptr; }

int32_t BindExport(Direction direction, const VarDesc* var, int32_t io, int32_t mode,
                   int32_t length) {
  if (NamesNoMemory(var)) return -1;
  return ChangeIdleIo(io, [&](IoSlot& slot) {
    return telvarn::BindStream(slot, direction, *var, mode, length);
  });
}

}  // namespace

extern "C" {

int32_t TELVARN_CALL Telvarn_IO_Initialize(int32_t io, int32_t, int32_t, int32_t) TELVARN_NOTHROW {
  IoSlot* slot = telvarn::module::slot_table().find_or_register(io);
  if (slot == nullptr) return -1;
  telvarn::platform::ScopedLock<telvarn::platform::Os::Mutex> hold(slot->exports_lock);
  telvarn::ResetSlot(*slot);
  return 0;
}

int32_t TELVARN_CALL Telvarn_IO_Input_Set(const VarDesc* var, int32_t io, int32_t mode,
                                             int32_t length) TELVARN_NOTHROW {
  return BindExport(Direction::kInput, var, io, mode, length);
}

int32_t TELVARN_CALL Telvarn_IO_Output_Set(const VarDesc* var, int32_t io, int32_t mode,
                                              int32_t length) TELVARN_NOTHROW {
  return BindExport(Direction::kOutput, var, io, mode, length);
}

int32_t TELVARN_CALL Telvarn_IO_Key_Set(const void* key, int32_t io, int32_t length,
                                           int32_t) TELVARN_NOTHROW {
  if (key == nullptr) return -1;
  return ChangeIdleIo(io, [&](IoSlot& slot) {
    telvarn::SetKey(slot, static_cast<const uint8_t*>(key), length);
    return 0;
  });
}

int32_t TELVARN_CALL Telvarn_IO_RSA_Key_Set(const VarDesc* var, int32_t io, int32_t,
                                               int32_t) TELVARN_NOTHROW {
  if (NamesNoMemory(var)) return -1;
  return ChangeIdleIo(io, [&](IoSlot& slot) { return telvarn::ImportRsaKey(slot, *var); });
}

int32_t TELVARN_CALL Telvarn_Base64_Encode(void* destination, const void* source, uint32_t length,
                                              int32_t line_mode) TELVARN_NOTHROW {
  if (destination == nullptr || source == nullptr) return 0;
  return telvarn::EncodeBase64(static_cast<uint8_t*>(destination),
                               static_cast<const uint8_t*>(source), length, line_mode);
}

int32_t TELVARN_CALL Telvarn_Base64_Decode(void* destination, char* source, int32_t,
                                              int32_t) TELVARN_NOTHROW {
  if (destination == nullptr || source == nullptr) return 0;
  return telvarn::DecodeBase64(static_cast<uint8_t*>(destination), source);
}

int32_t TELVARN_CALL Telvarn_CRC32(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kCrc32Job);
}

int32_t TELVARN_CALL Telvarn_CRC16(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kCrc16Job);
}

int32_t TELVARN_CALL Telvarn_SHA1(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kSha1Job);
}

int32_t TELVARN_CALL Telvarn_SHA256(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kSha256Job);
}

int32_t TELVARN_CALL Telvarn_SHA512(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kSha512Job);
}

int32_t TELVARN_CALL Telvarn_MD5(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kMd5Job);
}

int32_t TELVARN_CALL Telvarn_MD5Key(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kMd5KeyJob);
}

int32_t TELVARN_CALL Telvarn_SHA1Key(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kSha1KeyJob);
}

int32_t TELVARN_CALL Telvarn_SHA256Key(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kSha256KeyJob);
}

int32_t TELVARN_CALL Telvarn_SHA512Key(int32_t io, int32_t async, int32_t priority, int32_t) TELVARN_NOTHROW {
  return telvarn::LaunchJob(io, async, priority, telvarn::kSha512KeyJob);
}

int32_t TELVARN_CALL Telvarn_Digest(int32_t io, int32_t algorithm, int32_t flags, int32_t priority) TELVARN_NOTHROW {
  const KnownAlgorithm* known = FindAlgorithm(algorithm);
  if (known == nullptr || (flags & ~kDigestFlags) != 0) return -1;
  const bool keyed = (flags & TELVARN_DIGEST_KEYED) != 0;
  const telvarn::JobKind* kind = keyed ? known->keyed : known->plain;
  if (kind == nullptr) return -1;
  const int32_t async = (flags & TELVARN_DIGEST_QUEUE) != 0 ? TELVARN_QUEUE : TELVARN_RUN_NOW;
  const telvarn::KeyCheck accepts_key = keyed && known->key_rule != nullptr ? known->key_rule->accepts : nullptr;
  return telvarn::LaunchJob(io, async, priority, *kind, accepts_key);
}

int32_t TELVARN_CALL Telvarn_Algorithm_Info(int32_t algorithm, const VarDesc* name, int32_t room,
                                               int32_t) TELVARN_NOTHROW {
  const KnownAlgorithm* known = FindAlgorithm(algorithm);
  if (known == nullptr) return 0;
  if (NamesNoMemory(name)) return -known->digits;
  const size_t needed = std::strlen(known->name) + 1;
  const size_t available = room == 0 ? TELVARN_ALGORITHM_NAME_ROOM : room < 0 ? 0 : static_cast<size_t>(room);
  if (needed > available) return -1;
  std::memcpy(name->data, known->name, needed);
  return -known->digits;
}

int32_t TELVARN_CALL Telvarn_IO_State(int32_t io, int32_t, int32_t, int32_t) TELVARN_NOTHROW {
  return telvarn::JobState(io);
}

int32_t TELVARN_CALL Telvarn_IO_Progress(int32_t io, const VarDesc* counts, int32_t, int32_t) TELVARN_NOTHROW {
  return telvarn::JobProgress(io, counts);
}

int32_t TELVARN_CALL Telvarn_IO_Wait(int32_t io, uint32_t timeout_ms, int32_t, int32_t) TELVARN_NOTHROW {
  return telvarn::WaitForJob(io, timeout_ms);
}

int32_t TELVARN_CALL Telvarn_IO_WaitAll(int32_t, int32_t, int32_t, int32_t) TELVARN_NOTHROW {
  return telvarn::WaitForAllJobs();
}

int32_t TELVARN_CALL Telvarn_IO_Suspend(int32_t io, int32_t resume, int32_t, int32_t) TELVARN_NOTHROW {
  return telvarn::SuspendJob(io, resume);
}

}  // extern "C"
