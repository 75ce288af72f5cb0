#include "convert/convert.h"

#include "convert/dates.h"
#include "convert/numbers.h"
#include "convert/tokens.h"
#include "convert/white_space.h"

namespace plyfold {
namespace {

// The categories and settings as the AllDefaults path sees them: fixed at
// compile time, nothing to read.
struct DefaultCategories {
  static constexpr bool nulls() { return true; }
  static constexpr bool booleans() { return true; }
  static constexpr bool dates() { return true; }
  static constexpr bool numbers() { return true; }
  static constexpr const DateConversionConfig* date_settings() { return nullptr; }
  static constexpr const NumberConversionConfig* number_formats() { return nullptr; }
  static constexpr std::optional<std::string_view> extra_token(std::string_view) {
    return std::nullopt;
  }
};

class ConfiguredCategories {
 public:
  explicit ConfiguredCategories(const ConversionSettings& settings) : settings_(settings) {}

  bool nulls() const { return settings_.convert_nulls; }
  bool booleans() const { return settings_.convert_booleans; }
  bool dates() const { return settings_.convert_dates; }
  bool numbers() const { return settings_.convert_numbers; }
  const DateConversionConfig* date_settings() const { return &settings_.date_conversion_config; }
  const NumberConversionConfig* number_formats() const {
    return &settings_.number_conversion_config;
  }

  // The extra tokens, compared byte for byte: nulls win over trues, trues
  // over falses.
  std::optional<std::string_view> extra_token(std::string_view text) const {
    if (nulls() && contains(settings_.null_conversion_config.extra_tokens, text)) {
      return kNullText;
    }
    if (booleans()) {
      const BooleanConversionConfig& extra = settings_.boolean_conversion_config;
      if (contains(extra.extra_true_tokens, text)) return kTrueText;
      if (contains(extra.extra_false_tokens, text)) return kFalseText;
    }
    return std::nullopt;
  }

 private:
  static bool contains(const TextList& tokens, std::string_view text) {
    for (const std::string& token : tokens) {
      if (token == text) return true;
    }
    return false;
  }

  const ConversionSettings& settings_;
};

enum class Readings { Boolean, NullThenBoolean, DateThenNumber, Number, None };

Readings readings_for(char first) {
  switch (first) {
    case 'F':
    case 'O':
    case 'T':
    case 'Y':
    case 'f':
    case 'o':
    case 't':
    case 'y': return Readings::Boolean;
    case 'N':
    case 'n': return Readings::NullThenBoolean;
    case '$':
    case '(':
    case '+':
    case '-':
    case '.':
    case '[': return Readings::DateThenNumber;
    default: break;
  }
  if (first >= '0' && first <= '9') return Readings::DateThenNumber;
  if ((first >= 'A' && first <= 'Z') || static_cast<unsigned char>(first) >= 0x80) {
    return Readings::Number;
  }
  return Readings::None;
}

std::optional<std::string_view> boolean_text(std::string_view text) {
  const std::optional<bool> value = boolean_token(text);
  if (!value) return std::nullopt;
  return *value ? kTrueText : kFalseText;
}

// Copies a computed answer into scratch. The answer is complete before
// scratch is touched, so text that lies in scratch is never read after.
std::string_view keep_in_scratch(std::string_view answer, std::string& scratch) {
  scratch.assign(answer);
  return scratch;
}

template <class Categories>
std::optional<std::string_view> convert_trimmed(std::string_view text, const Categories& categories,
                                                std::string& scratch) {
  const Readings readings = readings_for(text.front());
  if (readings == Readings::NullThenBoolean && categories.nulls() && is_null_token(text)) {
    return kNullText;
  }
  if ((readings == Readings::Boolean || readings == Readings::NullThenBoolean) &&
      categories.booleans()) {
    if (std::optional<std::string_view> answer = boolean_text(text)) return answer;
  }
  if (readings == Readings::DateThenNumber && categories.dates()) {
    const DateConversion date = convert_date_string(text, categories.date_settings());
    if (date.verdict == DateVerdict::KeepAsIs) return std::nullopt;
    if (date.verdict == DateVerdict::Replace) {
      ShortText quoted;
      quoted.push_back('"');
      quoted.append(date.canonical.view());
      quoted.push_back('"');
      return keep_in_scratch(quoted.view(), scratch);
    }
  }
  if ((readings == Readings::DateThenNumber || readings == Readings::Number) &&
      categories.numbers()) {
    std::optional<std::string_view> number =
        convert_numeric_string(text, categories.number_formats(), scratch);
    if (number) return number;
  }
  // The built-in tables were consulted above wherever a token can match
  // (every built-in token starts with F, N, O, T, Y or their lowercase), so
  // only the extra tokens remain.
  return categories.extra_token(text);
}

}  // namespace

ConversionMode conversion_mode(const ConversionSettings& s) {
  if (!s.convert_dates && !s.convert_nulls && !s.convert_booleans && !s.convert_numbers) {
    return ConversionMode::Off;
  }
  ConversionSettings defaults;
  defaults.convert_dates = true;
  defaults.convert_nulls = true;
  defaults.convert_booleans = true;
  defaults.convert_numbers = true;
  return s == defaults ? ConversionMode::AllDefaults : ConversionMode::Configured;
}

std::optional<std::string_view> convert_string(std::string_view text,
                                               const ConversionSettings* settings,
                                               std::string& scratch) {
  const std::string_view trimmed = trim_white_space(text);
  if (trimmed.empty()) return std::nullopt;
  if (settings == nullptr) return convert_trimmed(trimmed, DefaultCategories{}, scratch);
  return convert_trimmed(trimmed, ConfiguredCategories(*settings), scratch);
}

}  // namespace plyfold
