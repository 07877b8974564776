// The check of every path of the package before anything is moved or written.
//
// The variables section is read again as the install sequence reads it, but with
// each folder variable (the chosen "{App}", and each shell folder that still holds
// its own folder) standing as a mark of one unit, U+0001 onwards. An expanded path
// then shows which of its units the package contributed (those are held against
// the name rule) and how often each folder stands in it, so its length is known for
// any folder: a path of R units in which the folder of f units stands k times fits
// every folder of at most (259 - (R - k f)) / k units. (A package whose own text
// holds such a control unit names a file that Windows refuses anyway.)
#include "install/path_check.h"

#include <cstdint>

#include "actions/files.h"
#include "actions/path_rules.h"
#include "actions/shortcuts.h"
#include "package/script.h"
#include "base/text16.h"
#include "variables/expand.h"
#include "variables/section.h"
#include "variables/table.h"

namespace tv {
namespace {

constexpr size_t kMarks = 1 + kFolderVariables;  // "{App}", then the shell folders
constexpr char16_t kFirstMark = 1;
// The one-unit values that stand for the folders.
const char16_t kMarkText[kMarks][2] = {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}};

// Zero-initialised, but for what the caller gives.
struct Check {
  size_t units[kMarks];  // the units each mark stands for (0: an unused mark, itself)
  size_t room;           // the longest folder that every path so far leaves room for (0: any)
  bool too_long;         // a path does not fit with the chosen folder
  bool found;            // a finding was made: the package is damaged
  PathFault first;       // the first finding's
  bool done;             // no more findings are wanted
  unsigned shortcuts;    // shortcut records planned so far
  ScriptCursor* at;      // the sections' cursor: quiet after the first finding
  VisitPathVerdict visit;
  void* context;
};

enum class Verdict { kFits, kTooLong, kNeverFits };

// "{App}" and every folder variable that still holds its own folder become marks.
void set_marks(const char16_t* folder, Check& c) {
  c.units[0] = u16len(folder);
  variable_slot(u"{App}") = kMarkText[0];
  for (unsigned i = 0; i < kFolderVariables; ++i) {
    const char16_t* const* value = find_variable(folder_variable_name(i));
    const char16_t* own = own_folder_value(i);
    if (value == nullptr || *value != own || own == nullptr || own[0] == 0) continue;
    c.units[i + 1] = u16len(own);
    variable_slot(folder_variable_name(i)) = kMarkText[i + 1];
  }
}

// True when a component of path is a name Windows cannot hold: *at and *units are
// then that name. A component made of a folder's mark alone passes (the folder is
// the user's own); in one that the package's text joins, the mark stands for a unit
// that is no letter, dot or space.
bool holds_bad_name(const char16_t* path, size_t* at, size_t* units) {
  for (size_t i = 0, start = 0;; ++i) {
    if (path[i] != 0 && path[i] != u'\\') continue;
    *at = start;
    *units = i - start;
    if (windows_cannot_hold(path + start, i - start)) return true;
    if (path[i] == 0) return false;
    start = i + 1;
  }
}

// A finding: the first is the package's damage; the visitor is told each.
void found(Check& c, const PathVerdict& v) {
  if (!c.found) c.first = v.fault;
  c.found = true;
  c.at->quiet = true;  // the install stops here: what the visitor reads on is not its
  c.done = c.visit == nullptr || !c.visit(c.context, v);
}

// A path that passes, told to the visitor (which reads where it lies).
void passed(Check& c, PathVerdict v) {
  if (c.visit == nullptr) return;
  v.fault = PathFault::kNone;
  c.done = !c.visit(c.context, v);
}

// The length of path with the folders in place of their marks, against 259 units.
// A path in which "{App}" stands narrows the room for the install folder.
Verdict measure(const char16_t* path, Check& c) {
  size_t real = 0, apps = 0;
  for (size_t i = 0; path[i] != 0; ++i) {
    size_t mark = size_t(path[i] - kFirstMark);
    size_t units = mark < kMarks ? c.units[mark] : 0;
    real += units != 0 ? units : 1;
    apps += mark == 0;
  }
  if (apps == 0) return real < kMaxPath ? Verdict::kFits : Verdict::kNeverFits;
  size_t rest = real - apps * c.units[0];
  if (rest + apps >= kMaxPath) return Verdict::kNeverFits;  // not even a one-unit folder
  size_t room = (kMaxPath - 1 - rest) / apps;
  if (c.room == 0 || room < c.room) c.room = room;
  return real < kMaxPath ? Verdict::kFits : Verdict::kTooLong;
}

// Every path of the files section at `at`, which is left at the shortcuts section.
// False when a reader found the section damaged (and said so).
bool check_files(ScriptCursor& at, Check& c) {
  FileRecords records(at);
  for (FileRecord r; !c.done && records.next(&r);) {
    char16_t path[kMaxPath];
    PathVerdict v = {PathFault::kNotExpanded, false, unsigned(records.index() - 1), path, 0, 0};
    // A path that no folder lets expand stops the files step as damaged.
    Verdict fit = expand_into(r.templ, path) ? measure(path, c) : Verdict::kNeverFits;
    if (fit == Verdict::kNeverFits) {
      found(c, v);
      continue;
    }
    v.fault = PathFault::kBadName;
    if (holds_bad_name(path, &v.name_at, &v.name_units))
      found(c, v);
    else
      passed(c, v);
    c.too_long |= fit == Verdict::kTooLong;
  }
  return !records.damaged();
}

// One shortcut record as the install would make it. A shortcut file too long for
// every folder is not made (its folder still is); other plans write nothing.
void check_shortcut(void* context, ShortcutPlan plan, const PlannedShortcut& p) {
  Check& c = *static_cast<Check*>(context);
  unsigned record = c.shortcuts++;
  if (c.done) return;
  const char16_t* written = plan == ShortcutPlan::kShortcut      ? p.file
                            : plan == ShortcutPlan::kNameTooLong ? p.folder
                                                                 : nullptr;
  if (written == nullptr) return;
  PathVerdict v = {PathFault::kBadName, true, record, written, 0, 0};
  if (holds_bad_name(written, &v.name_at, &v.name_units)) {
    found(c, v);
    return;
  }
  if (plan == ShortcutPlan::kShortcut) c.too_long |= measure(p.file, c) == Verdict::kTooLong;
  passed(c, v);
}

// The shortcuts section at `at`, split in place for its records and then put back
// as it was, so that the install reads it as if nothing had.
bool check_shortcuts(ScriptCursor& at, Check& c) {
  char16_t* text = nullptr;
  if (!read_string(at, &text)) return false;
  size_t units = u16len(text);
  plan_shortcuts(text, check_shortcut, &c);
  for (size_t i = 0; i < units; ++i)  // every NUL before the text's end was a line feed
    if (unit_at(text, i) == 0) set_unit(text, i, u'\n');
  return true;
}

}  // namespace

const char16_t* marked_folder(char16_t unit) {
  size_t mark = size_t(unit - kFirstMark);
  if (mark >= kMarks) return nullptr;
  return mark == 0 ? u"{App}" : folder_variable_name(unsigned(mark - 1));
}

const char* path_fault_reason(PathFault fault) {
  return fault == PathFault::kNotExpanded ? kFilePathDoesNotExpand : "a path holds a name Windows cannot hold";
}

PathCheck check_install_paths(const char16_t* folder, unsigned* room, VisitPathVerdict visit, void* context) {
  variable_slot(u"{App}");  // present when the values are saved: the install sets it anyway
  const char16_t** saved = save_variable_values();
  Check c = {};
  c.visit = visit;
  c.context = context;
  set_marks(folder, c);
  ScriptCursor variables = saved_cursor(), at = script_cursor();
  c.at = &at;
  bool read = read_variables_section(variables, 1) && check_files(at, c) &&
              (c.done || check_shortcuts(at, c));
  restore_variable_values(saved);
  if (c.found) {
    report_damaged_package(path_fault_reason(c.first));
    return PathCheck::kDamaged;
  }
  if (!read) return PathCheck::kDamaged;
  *room = unsigned(c.room);
  return c.too_long ? PathCheck::kTooLong : PathCheck::kFits;
}

}  // namespace tv
