// The module's exception types and the helpers that raise them.
//
// PlyfoldError (an Exception) carries every error of the processing core and
// the failed conversions between Python objects and JSON text. InternalFault
// (a BaseException, so that `except Exception` does not swallow it) reports a
// broken internal assumption, such as a C++ exception reaching the module's
// boundary. Both types are created once per process and shared.
#pragma once

#include <Python.h>

#include <string>
#include <string_view>

#include "errors/core_error.h"
#include "python/py_ref.h"

namespace plyfold::python {

inline constexpr std::string_view kPoisonedLockMessage =
    "internal config lock poisoned: poisoned lock: another task failed inside";

// Borrowed references to the process-wide types; nullptr with an exception set
// when the interpreter refuses to create them.
PyObject* plyfold_error_type();
PyObject* internal_fault_type();

// Each sets a Python exception; callers then return nullptr (or -1).
void raise_plyfold_error(std::string_view message);
void raise_core_error(std::string_view prefix, const CoreError& error);
void raise_internal_fault(std::string_view message);
void raise_poisoned_lock();

// Text of the pending Python exception, "<type qualname>: <str(exc)>", which is
// cleared. Used where a Python failure is embedded in another message.
// Takes the pending exception off the interpreter and returns its value
// (normalised; empty when none was set).
PyRef take_exception_value();

std::string take_exception_text();

// Makes a Python str from UTF-8 (nullptr with an exception set on failure).
PyObject* text_to_str(std::string_view text);

}  // namespace plyfold::python
