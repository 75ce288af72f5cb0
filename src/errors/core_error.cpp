#include "errors/core_error.h"

namespace plyfold {
namespace {

constexpr std::string_view kJsonParseSuggestion =
    "Verify your JSON syntax using a JSON validator. Common issues include: "
    "missing quotes around keys or values, trailing commas, unescaped "
    "characters, incomplete JSON (missing closing braces or brackets), or "
    "invalid escape sequences.";
constexpr std::string_view kModeSuggestion =
    "Call .flatten() or .unflatten() on your Plyfold instance before calling "
    ".execute() to set the operation mode.";
constexpr std::string_view kBatchSuggestion =
    "Check the JSON at the specified index. All items in a batch must be "
    "valid JSON strings or objects.";
constexpr std::string_view kSerializationSuggestion =
    "This is likely an internal error. The processed data couldn't be "
    "serialized back to JSON. Please report this issue.";

std::string structure_suggestion(std::string_view message) {
  if (message.find("unflatten") != std::string_view::npos) {
    return "For unflattening, ensure your JSON is a flat object with "
           "dot-separated keys like {'user.name': 'John', 'user.age': 30}.";
  }
  if (message.find("object") != std::string_view::npos) {
    return "The operation requires a JSON object ({}), but received a "
           "different type. Check that your input is a valid JSON object.";
  }
  return "Verify that your JSON structure is compatible with the requested "
         "operation. Flattening works on nested objects/arrays, unflattening "
         "works on flat objects.";
}

std::string input_suggestion(std::string_view message) {
  if (message.find("type") != std::string_view::npos) {
    return "Ensure your input is a valid JSON string, Python dict, or list of "
           "JSON strings/dicts.";
  }
  if (message.find("empty") != std::string_view::npos) {
    return "Provide non-empty input for processing.";
  }
  return "Check that your input format matches the expected type for the "
         "operation.";
}

CoreError make(ErrorKind kind, std::string message, std::string suggestion) {
  CoreError error{kind, std::move(message), std::move(suggestion), nullptr, 0};
  return error;
}

}  // namespace

std::string_view error_code(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::JsonParse: return "E001";
    case ErrorKind::RegexPattern: return "E002";
    case ErrorKind::InvalidReplacement: return "E003";
    case ErrorKind::InvalidStructure: return "E004";
    case ErrorKind::ModeNotConfigured: return "E005";
    case ErrorKind::BatchItemFailed: return "E006";
    case ErrorKind::InputValidation: return "E007";
    case ErrorKind::Serialization: return "E008";
  }
  return "E000";
}

std::string_view error_title(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::JsonParse: return "JSON parsing failed";
    case ErrorKind::RegexPattern: return "Regex pattern error";
    case ErrorKind::InvalidReplacement: return "Invalid replacement pattern";
    case ErrorKind::InvalidStructure: return "Invalid JSON structure";
    case ErrorKind::ModeNotConfigured: return "Operation mode not configured";
    case ErrorKind::BatchItemFailed: return "Batch processing failed at index";
    case ErrorKind::InputValidation: return "Input validation failed";
    case ErrorKind::Serialization: return "JSON serialization failed";
  }
  return "Unknown error";
}

std::string CoreError::display() const {
  std::string text;
  text.reserve(message.size() + suggestion.size() + 64);
  text += '[';
  text += error_code(kind);
  text += "] ";
  text += error_title(kind);
  if (kind == ErrorKind::BatchItemFailed) {
    text += ' ';
    text += std::to_string(index);
  }
  text += ": ";
  text += message;
  text += "\n\U0001F4A1 Suggestion: ";
  text += suggestion;
  return text;
}

CoreError json_parse_error(std::string message) {
  return make(ErrorKind::JsonParse, std::move(message), std::string(kJsonParseSuggestion));
}

CoreError structure_error(std::string message) {
  std::string suggestion = structure_suggestion(message);
  return make(ErrorKind::InvalidStructure, std::move(message), std::move(suggestion));
}

CoreError config_error(std::string message) {
  return make(ErrorKind::ModeNotConfigured, std::move(message), std::string(kModeSuggestion));
}

CoreError input_error(std::string message) {
  std::string suggestion = input_suggestion(message);
  return make(ErrorKind::InputValidation, std::move(message), std::move(suggestion));
}

CoreError serialization_error(std::string message) {
  return make(ErrorKind::Serialization, std::move(message), std::string(kSerializationSuggestion));
}

CoreError batch_item_error(uint64_t index, CoreError item) {
  CoreError error =
      make(ErrorKind::BatchItemFailed, "Failed to process item at index " + std::to_string(index),
           std::string(kBatchSuggestion));
  error.index = index;
  error.source = std::make_shared<const CoreError>(std::move(item));
  return error;
}

}  // namespace plyfold
