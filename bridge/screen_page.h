// The page TVXBridge serves at "/": screen.html, built in.
#pragma once

namespace bridge {
extern const char* const kScreenPage;
}
