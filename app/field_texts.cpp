#include "app/field_texts.h"

#include <cstdio>

#include "common/ini_values.h"

namespace {

std::optional<std::string> TakeInteger(const std::string& text, int low, int high, int& value) {
  if (!ParseLeadingInteger(text, value)) return "Please enter an integer.";
  if (value >= low && value <= high) return std::nullopt;
  char message[80];
  std::snprintf(message, sizeof message, "Please enter an integer between %d and %d.", low, high);
  return message;
}

}  // namespace

FieldTexts TextsOf(const ServerFields& fields) {
  return {fields.homeDirectory, fields.defaultIndexFile, std::to_string(fields.port),
          std::to_string(fields.persistenceTimeoutSeconds)};
}

std::optional<std::string> TakeFieldTexts(const FieldTexts& texts, ServerFields& fields) {
  fields.homeDirectory = texts.homeDirectory;
  fields.defaultIndexFile = texts.defaultIndexFile;
  if (auto problem = TakeInteger(texts.port, 1, 65535, fields.port)) return problem;
  return TakeInteger(texts.persistenceTimeout, 0, 10000, fields.persistenceTimeoutSeconds);
}
