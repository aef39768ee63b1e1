// Proves a cross target's runner before the suite: a program of the target
// starts a thread, which must get a thread id of its own, and exits 0.

#include <cstdio>
#include <thread>

int main() {
  const std::thread::id main_id = std::this_thread::get_id();
  std::thread::id thread_id;
  std::thread thread([&thread_id] { thread_id = std::this_thread::get_id(); });
  thread.join();
  const bool distinct = thread_id != main_id && thread_id != std::thread::id();
  (void)std::puts(distinct ? "hello from a second thread" : "the thread did not run");
  return distinct ? 0 : 1;
}
