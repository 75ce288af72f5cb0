// Process-wide objects created once, on first use.
//
// The module's classes, its exception types and the Python codecs are built
// the first time they are needed and then shared by every caller. Creation
// may run Python code that releases the interpreter lock (an import, for
// instance), so the interpreter lock alone does not serialise it: a plain
// mutex does, and it is only ever waited for with the interpreter lock
// released, so it cannot deadlock against it. A creation that fails is not
// remembered and the next use tries again.
#pragma once

#include <Python.h>

#include <atomic>
#include <mutex>

namespace plyfold::python {

// Returns the object held in `slot`, creating it with `create` on first use.
// `create` returns a new object, or nullptr with a Python exception set.
// Call with the interpreter lock held.
template <class T, class Create>
T* get_or_create(std::atomic<T*>& slot, std::mutex& guard, Create&& create) {
  if (T* existing = slot.load(std::memory_order_acquire)) return existing;
  PyThreadState* saved = PyEval_SaveThread();
  guard.lock();
  PyEval_RestoreThread(saved);
  std::lock_guard<std::mutex> held(guard, std::adopt_lock);
  if (T* existing = slot.load(std::memory_order_acquire)) return existing;
  T* created = create();
  if (created != nullptr) slot.store(created, std::memory_order_release);
  return created;
}

}  // namespace plyfold::python
