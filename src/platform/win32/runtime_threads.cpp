// The POSIX thread calls of the GCC runtime linked into the module, on Win32 primitives that keep nothing per thread.
//
// The -posix flavour of mingw-w64 builds libgcc and libstdc++ over winpthreads,
// and a DLL links its own copy of it. That copy gives each thread that calls it a
// record holding two kernel handles (an event and a duplicate of the thread's
// handle) in a TLS index of its own, and closes a record only when its thread
// ends while the DLL is still loaded; at unload it releases nothing. On i686 the
// thread that loads the module calls it in every load (the DWARF unwinder's
// registration of the module's frame tables takes a pthread_once), and a thread
// of the module that unloads it on its way out (FreeLibraryAndExitThread) never
// sees its record closed: each load/unload cycle would leave an event and a
// thread handle in the host, and each load a TLS index, of which a process has
// 1088, so that a long-lived host's load would abort after about a thousand.
//
// Defined here, these calls keep every member of winpthreads out of the module.
// They are exactly the calls that the runtime's objects in the module make: the
// unwinder's frame registry, the exception memory pool, and the emulated TLS of
// the exception globals. Should an object need another one, the archive member
// that defines it also defines one of these, and the link fails; so does a
// local static with a dynamic initialiser in the module (its guard waits with
// pthread_cond_wait).
//
// They keep the promises those callers rely on: default (non-recursive)
// mutexes, initialisation once (an initialiser that throws leaves it not run, for
// the next caller to run), and up to kMaxKeys thread-specific keys, each
// destructor run when a thread ends and, for every thread still holding a value,
// when the module unloads; reading a key leaves the thread's last error as it was.
#include <pthread.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace {

// A mutex is an SRW lock in the pthread_mutex_t's own storage: SRW locks are one
// pointer, zero when free, and need nothing to be released.
static_assert(sizeof(pthread_mutex_t) == sizeof(SRWLOCK));

SRWLOCK* LockOf(pthread_mutex_t* mutex) { return reinterpret_cast<SRWLOCK*>(mutex); }

// pthread_once_t states: PTHREAD_ONCE_INIT (0), then kOnceRunning, then kOnceDone;
// back to PTHREAD_ONCE_INIT when the initialiser throws.
constexpr long kOnceRunning = 1;
constexpr long kOnceDone = 2;

// Ends a pthread_once run: done when the initialiser returns, and, when it throws,
// the state it started from, so that the next caller (or one spinning now) runs it.
class OnceRun {
 public:
  explicit OnceRun(pthread_once_t* once) : once_(once) {}
  OnceRun(const OnceRun&) = delete;
  OnceRun& operator=(const OnceRun&) = delete;
  ~OnceRun() { InterlockedExchange(once_, returned_ ? kOnceDone : PTHREAD_ONCE_INIT); }
  void Returned() { returned_ = true; }

 private:
  pthread_once_t* once_;
  bool returned_ = false;
};

// Thread-specific keys: FLS indices, whose callbacks run at a thread's end and
// at FlsFree. A callback is __stdcall on i686 and a destructor is not, so each
// key has a callback of its own that calls its destructor.
constexpr unsigned kMaxKeys = 4;
struct Key {
  std::atomic<bool> taken{false};
  DWORD index = FLS_OUT_OF_INDEXES;
  void (*destructor)(void*) = nullptr;
};
Key g_keys[kMaxKeys];

template <unsigned kKey>
void WINAPI RunDestructor(void* value) {
  if (value != nullptr && g_keys[kKey].destructor != nullptr) g_keys[kKey].destructor(value);
}
constexpr PFLS_CALLBACK_FUNCTION kDestructorCallbacks[kMaxKeys] = {&RunDestructor<0>, &RunDestructor<1>,
                                                                   &RunDestructor<2>, &RunDestructor<3>};

// At unload: frees the keys, running each destructor for every thread that still
// holds a value, so that no callback into the unmapped module is left behind.
// Each key is left free, so that the module's data says no key is held once the
// indices are gone.
struct KeyRelease {
  ~KeyRelease() {
    for (Key& key : g_keys) {
      if (key.index == FLS_OUT_OF_INDEXES) continue;
      FlsFree(key.index);
      key.index = FLS_OUT_OF_INDEXES;
      key.destructor = nullptr;
      key.taken.store(false);
    }
  }
};
KeyRelease g_key_release;

}  // namespace

extern "C" {

int pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t*) {
  *LockOf(mutex) = SRWLOCK_INIT;
  return 0;
}

int pthread_mutex_destroy(pthread_mutex_t*) { return 0; }

int pthread_mutex_lock(pthread_mutex_t* mutex) {
  // A statically initialised mutex holds PTHREAD_MUTEX_INITIALIZER (all bits set),
  // a value no SRW lock takes: the first lock turns it into a free SRW lock.
  InterlockedCompareExchangePointer(reinterpret_cast<void**>(mutex), nullptr,
                                    reinterpret_cast<void*>(PTHREAD_MUTEX_INITIALIZER));
  AcquireSRWLockExclusive(LockOf(mutex));
  return 0;
}

int pthread_mutex_unlock(pthread_mutex_t* mutex) {
  ReleaseSRWLockExclusive(LockOf(mutex));
  return 0;
}

int pthread_once(pthread_once_t* once, void (*init)(void)) {
  for (;;) {
    const long state = InterlockedCompareExchange(once, kOnceRunning, PTHREAD_ONCE_INIT);
    if (state == kOnceDone) return 0;
    if (state == PTHREAD_ONCE_INIT) {
      OnceRun run(once);
      init();
      run.Returned();
      return 0;
    }
    // Another thread runs it: these initialisations take microseconds, once per
    // load. Should it throw, the state is PTHREAD_ONCE_INIT again and this thread
    // may take it over.
    SwitchToThread();
  }
}

int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  for (unsigned i = 0; i < kMaxKeys; ++i) {
    if (g_keys[i].taken.exchange(true)) continue;
    g_keys[i].destructor = destructor;
    const DWORD index = FlsAlloc(destructor != nullptr ? kDestructorCallbacks[i] : nullptr);
    if (index == FLS_OUT_OF_INDEXES) {
      g_keys[i].taken.store(false);
      return EAGAIN;
    }
    g_keys[i].index = index;
    *key = i;
    return 0;
  }
  return EAGAIN;
}

// The runtime calls this on every throw and catch (the exception globals live in
// emulated TLS), and FlsGetValue may set the thread's last error: a host that
// reads GetLastError after a call into the module must find its own value.
void* pthread_getspecific(pthread_key_t key) {
  if (key >= kMaxKeys) return nullptr;
  const DWORD last_error = GetLastError();
  void* value = FlsGetValue(g_keys[key].index);
  SetLastError(last_error);
  return value;
}

int pthread_setspecific(pthread_key_t key, const void* value) {
  if (key >= kMaxKeys) return EINVAL;
  return FlsSetValue(g_keys[key].index, const_cast<void*>(value)) ? 0 : ENOMEM;
}

}  // extern "C"
