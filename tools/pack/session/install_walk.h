// An installer's package read as the installer reads it, with the installer's own
// code: the package section, unpacking, the header check, both readings of the
// variables section, the files and the shortcuts sections, for a chosen install
// folder. Nothing is written. The walk holds the one installer session
// (session/installer_session.h) for its life.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "actions/shortcuts.h"
#include "pe/pe_file.h"
#include "session/installer_session.h"

namespace tvpack {

struct FileRecord {
  const char16_t* templ = nullptr;  // as stored
  const char16_t* path = nullptr;   // expanded, or null: the installer stops as damaged
  uint32_t size = 0;
  const uint8_t* content = nullptr;
};

struct ShortcutRecord {
  size_t marker = 0;                       // index of its "icon" line
  const char16_t* lines[3] = {};           // target, arguments, location (null: missing)
  tv::ShortcutPlan plan = tv::ShortcutPlan::kNotExpanded;
  tv::PlannedShortcut planned;
};

struct ShortcutSection {
  std::vector<std::u16string> lines;  // every line of the text
  size_t looked_at = 0;               // lines the installer looks at (its table's size)
  std::vector<ShortcutRecord> records;
  std::vector<size_t> ignored;        // looked-at lines in no record
};

class InstallWalk {
 public:
  // The shell folders (CSIDL -> path) that open() gives the folder variables, as a
  // machine's shell gives them; without this call, the stand-in's own.
  void use_shell_folders(const std::map<int, std::u16string>& folders) { session_.use_shell_folders(folders); }

  // Loads the installer file's bytes as the install dialog does, the resources the
  // installer reads of itself (its product name and folder name, actions/
  // product_names.h) given to the installer's code. "" when the installer
  // would go on; else why it stops (a refused version leaves the rest readable:
  // version_refused()). The bytes must outlive the walk.
  std::string open(const std::vector<uint8_t>& bytes);
  // The same for a file already parsed (its bytes must outlive the walk).
  std::string open(const PeFile& file);
  // Only the resources the installer reads of itself, given to the installer's code
  // (open() begins with this): enough for its product name and folder name.
  void read_own_resources(const std::vector<uint8_t>& bytes);
  void read_own_resources(const PeFile& file);
  uint32_t section_offset() const { return section_offset_; }
  uint32_t container_size() const { return n_; }
  uint32_t key() const { return key_; }
  int32_t version() const { return session_.version(); }
  bool version_refused() const { return session_.version_refused(); }
  // The variables section's pairs as stored (name, value template).
  const std::vector<std::pair<const char16_t*, const char16_t*>>& pairs() const { return pairs_; }
  // The install folder the dialog offers after loading (its default).
  std::u16string default_folder() const;

  // The install sequence's reading for the chosen folder: "{App}" := folder, the
  // variables section read again. False for a damaged section.
  bool choose_folder(const std::u16string& folder) { return session_.choose_folder(folder); }
  // The installer's own check of every path, with every finding and how long the
  // install folder may be (session's judge_paths()), before choose_folder and files().
  PathJudgement judge_paths() { return session_.judge_paths(); }
  // The files section, record by record; visit returns false to stop. False when the
  // section is damaged (tv::damage_reason() says why); a path that does not expand is
  // visited (path null) and then ends the walk as damaged, as in the installer.
  bool files(const std::function<bool(const FileRecord&)>& visit);
  // The shortcuts section; false when damaged.
  bool shortcuts(ShortcutSection* out);

  // The installer's message boxes so far, in order.
  const std::vector<std::u16string>& messages() const { return session_.messages(); }
  // why, and the first message the installer showed for it (see the session's).
  std::string explained(const std::string& why) const { return session_.explained(why); }
  InstallerSession& session() { return session_; }

 private:
  InstallerSession session_;
  uint32_t section_offset_ = 0, n_ = 0, key_ = 0;
  std::vector<std::pair<const char16_t*, const char16_t*>> pairs_;
};

}  // namespace tvpack
