// The module's own POSIX thread calls for its runtime, compiled into this program under names of their own (tests/CMakeLists.txt).
#include <gtest/gtest.h>
#include <pthread.h>
#include <windows.h>

#include <stdexcept>

extern "C" {
int module_pthread_once(pthread_once_t* once, void (*init)(void));
int module_pthread_key_create(pthread_key_t* key, void (*destructor)(void*));
void* module_pthread_getspecific(pthread_key_t key);
int module_pthread_setspecific(pthread_key_t key, const void* value);
}

namespace {

int g_initialiser_runs = 0;
void ThrowingInitialiser() {
  ++g_initialiser_runs;
  throw std::runtime_error("initialiser fails");
}
void CountingInitialiser() { ++g_initialiser_runs; }

// As std::call_once promises of a callable that throws: the next call runs one.
TEST(RuntimeThreads, OnceWhoseInitialiserThrowsIsRunByTheNextCaller) {
  pthread_once_t once = PTHREAD_ONCE_INIT;
  EXPECT_THROW(module_pthread_once(&once, &ThrowingInitialiser), std::runtime_error);
  // Left running, the next call would wait for good.
  ASSERT_EQ(once, PTHREAD_ONCE_INIT);
  EXPECT_EQ(module_pthread_once(&once, &CountingInitialiser), 0);
  EXPECT_EQ(module_pthread_once(&once, &CountingInitialiser), 0);
  EXPECT_EQ(g_initialiser_runs, 2);
}

// The runtime reads its key on every throw and catch inside the module.
TEST(RuntimeThreads, ReadingAKeyLeavesTheThreadsLastError) {
  pthread_key_t key = 0;
  ASSERT_EQ(module_pthread_key_create(&key, nullptr), 0);
  int value = 0;
  ASSERT_EQ(module_pthread_setspecific(key, &value), 0);
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(module_pthread_getspecific(key), &value);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
