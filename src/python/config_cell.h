// ConfigCell: a Plyfold object's configuration behind its lock.
//
// The lock is a mutex with a poisoned state. Two access patterns exist:
// update() runs a short change with the interpreter lock held (builders and
// the configuration writer); run_released() releases the interpreter lock
// first and then holds the configuration lock for a whole execution. Nothing
// waits for the interpreter lock while the configuration lock is held. When a
// C++ exception interrupts a holder, the record may be half-changed, so the
// lock is poisoned for the life of the object and every later access fails.
#pragma once

#include <Python.h>

#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "batch/driver.h"
#include "builder/config.h"
#include "python/exceptions.h"

namespace plyfold::python {

class ConfigCell {
 public:
  static constexpr std::string_view kUnknownFault =
      "unknown internal error while the configuration lock was held";

  explicit ConfigCell(Config config) : config_(std::move(config)) {}
  ConfigCell(const ConfigCell&) = delete;
  ConfigCell& operator=(const ConfigCell&) = delete;

  // Runs change(Config&) under the lock, interpreter lock held. `change` must
  // not call into Python. Returns false with RuntimeError (poisoned lock) or
  // InternalFault (the change threw) set.
  template <class Change>
  bool update(Change&& change) {
    std::string fault;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (poisoned_) {
        lock.unlock();
        raise_poisoned_lock();
        return false;
      }
      try {
        change(config_);
        return true;
      } catch (...) {
        poisoned_ = true;
        fault = describe_current_exception();
      }
    }
    raise_internal_fault(fault.empty() ? kUnknownFault : fault);
    return false;
  }

  // Releases the interpreter lock, then runs work(const Config&) -> Result<T>
  // under the configuration lock, and takes the interpreter lock back after
  // unlocking. The work must not touch Python objects. A poisoned lock gives
  // the E005 error that carries the RuntimeError text; a C++ exception poisons
  // the lock and returns nullopt with InternalFault set.
  template <class T, class Work>
  std::optional<Result<T>> run_released(Work&& work) {
    std::optional<Result<T>> outcome;
    std::string fault;
    PyThreadState* saved = PyEval_SaveThread();
    run_locked(work, outcome, fault);
    PyEval_RestoreThread(saved);
    if (!outcome) raise_internal_fault(fault.empty() ? kUnknownFault : fault);
    return outcome;
  }

 private:
  template <class T, class Work>
  void run_locked(Work& work, std::optional<Result<T>>& outcome, std::string& fault) noexcept {
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    try {
      lock.lock();
    } catch (...) {
      fault = describe_current_exception();
      return;
    }
    try {
      if (poisoned_) {
        outcome.emplace(
            config_error("Python error: RuntimeError: " + std::string(kPoisonedLockMessage)));
      } else {
        outcome.emplace(work(static_cast<const Config&>(config_)));
      }
    } catch (...) {
      outcome.reset();
      poisoned_ = true;
      fault = describe_current_exception();
    }
  }

  // The text of the exception being handled; empty if even that fails.
  static std::string describe_current_exception() noexcept {
    try {
      try {
        throw;
      } catch (const std::bad_alloc&) {
        return "out of memory while the configuration lock was held";
      } catch (const std::exception& error) {
        return std::string("internal error while the configuration lock was held: ") + error.what();
      }
    } catch (...) {
    }
    return std::string();
  }

  std::mutex mutex_;
  bool poisoned_ = false;
  Config config_;
};

}  // namespace plyfold::python
