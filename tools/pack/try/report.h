// talvenor-pack try's report: what the run saw and what the check found, as text and
// as JSON, and the verdict's reasons.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "try/check.h"
#include "try/run_record.h"
#include "try/try.h"
#include "try/upgrade.h"

namespace tvpack {

// What the run saw and what the check found.
struct Outcome {
  std::string names;  // the product name and folder name the installer uses (product_names_text)
  TryRun run;
  CheckResult check;
  bool checked = false;
  std::string wine, display;
  bool xvfb = false;
  int bits = 0;
  bool over = false;  // --over: an upgrade
  Upgrade upgrade;                  // the last old version's
  std::vector<std::string> earlier;  // the old versions installed before it
  std::vector<Shot> old_shots;       // every old version's screenshots, in order
};

// The verdict's reasons, one line each; none when all is as the package says.
std::vector<std::string> failures(const Outcome& o);
// The report on out, the verdict last.
void write_text(const TryOptions& opt, const Outcome& o, const std::vector<std::string>& why, std::ostream& out);
// The report as JSON into opt.json; "" when written, else why not ("cannot be written
// (REASON)", the system's reason).
std::string write_json(const TryOptions& opt, const Outcome& o, const std::vector<std::string>& why, int status);

// A JSON string of text from anywhere (the installer's dialogs, the package, file
// names): always valid UTF-8, U+FFFD for what is no text.
std::string json_string(const std::string& text);

}  // namespace tvpack
