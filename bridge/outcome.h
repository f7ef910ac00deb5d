// What a parser or check hands back: success, or the text that tells the
// peer what was wrong. A caller has to test it, and cannot take an empty
// text for success by mistake.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace bridge {

class [[nodiscard]] Outcome {
 public:
  static Outcome Ok() { return Outcome(); }
  static Outcome Failure(std::string error) { return Outcome(std::move(error)); }

  explicit operator bool() const { return !error_; }
  // Only for a failure.
  const std::string& Error() const { return *error_; }

 private:
  Outcome() = default;
  explicit Outcome(std::string error) : error_(std::move(error)) {}

  std::optional<std::string> error_;
};

}  // namespace bridge
