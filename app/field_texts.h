// The settings fields as the operator left them in a window's edit fields,
// and their check on the way into the settings record.
#pragma once

#include <optional>
#include <string>

#include "app/settings.h"

struct FieldTexts {
  std::string homeDirectory;
  std::string defaultIndexFile;
  std::string port;
  std::string persistenceTimeout;
};

// The fields' own texts, for a view without edit fields.
FieldTexts TextsOf(const ServerFields& fields);

// Takes the texts into fields, the folder and file as they are, the port
// (1 to 65535) and the timeout (0 to 10000) with their range checks. Stops at
// the first failing check, with what to tell the operator; a number outside
// its range is taken all the same, as the field exchange has always done.
std::optional<std::string> TakeFieldTexts(const FieldTexts& texts, ServerFields& fields);
