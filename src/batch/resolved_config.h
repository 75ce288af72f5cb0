// The per-execution, read-only view of a Config that the engines read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "builder/config.h"
#include "convert/convert.h"

namespace plyfold {

struct ResolvedConfig {
  explicit ResolvedConfig(const Config& snapshot)
      : config(snapshot), conversion_mode(plyfold::conversion_mode(snapshot.conversion)) {}

  // Offers a decoded string value to type conversion; nullopt when conversion
  // is off or declines.
  std::optional<std::string_view> convert(std::string_view text, std::string& scratch) const {
    switch (conversion_mode) {
      case ConversionMode::Off: return std::nullopt;
      case ConversionMode::AllDefaults: return convert_string(text, nullptr, scratch);
      case ConversionMode::Configured: return convert_string(text, &config.conversion, scratch);
    }
    return std::nullopt;
  }

  const Config& config;
  ConversionMode conversion_mode;
};

}  // namespace plyfold
