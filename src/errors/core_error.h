// Error values of the processing core.
//
// Every failure the core can report is a CoreError returned up the call
// chain: a kind (E001..E008), a detail message, a suggestion chosen from the
// kind (and for some kinds from the message), and for E006 the index of the
// failed batch item. Result<T> carries either a value or a CoreError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace plyfold {

enum class ErrorKind {
  JsonParse,           // E001
  RegexPattern,        // E002 (reserved)
  InvalidReplacement,  // E003 (reserved)
  InvalidStructure,    // E004
  ModeNotConfigured,   // E005
  BatchItemFailed,     // E006
  InputValidation,     // E007
  Serialization,       // E008
};

struct CoreError {
  ErrorKind kind;
  std::string message;
  std::string suggestion;
  std::shared_ptr<const CoreError> source;  // failed item of an E006
  uint64_t index = 0;                       // E006 only

  // "[E00n] Title: message\n\U0001F4A1 Suggestion: suggestion"
  std::string display() const;
};

std::string_view error_code(ErrorKind kind);
std::string_view error_title(ErrorKind kind);

CoreError json_parse_error(std::string message);
CoreError structure_error(std::string message);
CoreError config_error(std::string message);
CoreError input_error(std::string message);
CoreError serialization_error(std::string message);
CoreError batch_item_error(uint64_t index, CoreError item);

// A value of T or the CoreError that prevented it.
template <class T>
class Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(CoreError error) : state_(std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  CoreError& error() { return std::get<1>(state_); }
  const CoreError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, CoreError> state_;
};

}  // namespace plyfold
