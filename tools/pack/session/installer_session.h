// The installer as the maker runs it: one owned session over the installer's
// process-wide state (the variable table, the install script and its cursors, the
// message responder). Made, used, gone: whatever build, inspect, extract and try ask
// of the installer's own code goes through the one session that is alive.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "package/container.h"

namespace tvpack {

struct PeFile;

// One finding of the installer's own check of every path (install/path_check.h).
struct PathFinding {
  bool bad_name = false;   // a name Windows cannot hold; else a file path that does not expand
  bool shortcut = false;   // the record is the shortcuts section's, else the files section's
  size_t record = 0;       // its index in its section (a shortcut's: among the markers)
  std::u16string name;     // bad_name: the name, a folder the package's text joins written
                           // as its variable ("{App}x.")
};

// Where a path the installer writes starts, by its own reading (the marks its check
// stands for the folder variables): in one of the user's own folders, a shell folder
// variable that still holds its own folder, or not. A path written out literally is
// plain, whatever folder it names.
struct PathStart {
  std::u16string folder;  // "{Desktop}", ...; "" for a plain path (and one below "{App}")
  size_t units = 0;       // how many units of the written path that folder's value is

  // path (the one written) with the folder's value written as its variable
  // ("{Desktop}\x.lnk"); path itself when plain.
  std::u16string named(const std::u16string& path) const;
  // The rest of path after the folder's value (path itself when plain).
  std::u16string rest(const std::u16string& path) const;
};

// The installer's check of every path, as the install button makes it.
struct PathJudgement {
  size_t room = 0;              // how long the install folder may be (0 when refused)
  std::string refused;          // why the installer refuses the package ("" when it does not)
  std::vector<PathFinding> findings;  // in the order of the sections and their records
  std::vector<PathStart> files;       // each file record's path's start, by its index
  std::vector<PathStart> shortcuts;   // each shortcut file's (among the markers)
  // The name Windows cannot hold in that record's path, or null.
  const std::u16string* bad_name(bool shortcut, size_t record) const;
  // Where that record's path starts (plain for one the check did not read).
  PathStart start(bool shortcut, size_t record) const;
};

// The product's names as the installer reads them of its own resources
// (actions/product_names.h).
struct ProductNames {
  std::u16string name;            // in the retry prompt and the old-version box
  std::u16string browse_suffix;   // what the browse button adds
  std::u16string default_folder;  // where an empty folder box installs
  bool carries_folder_name = false;   // a folder-name resource is there
  size_t folder_name_bytes = 0;       // its size
  std::optional<std::u16string> folder_name;  // the name it holds, when the installer takes it
};

class InstallerSession {
 public:
  // The table holds the built-in folder variables of the platform's folders (as the
  // installer starts); message boxes are collected. A second session while one is
  // alive is a mistake of the maker (std::logic_error).
  InstallerSession();
  // Everything goes: the table, the dialog's title and description, the script (a
  // borrowed one is given back), the responder.
  ~InstallerSession();
  InstallerSession(const InstallerSession&) = delete;
  InstallerSession& operator=(const InstallerSession&) = delete;
  // The installer's state as a new session finds it (the next package of the same
  // command is read as the installer reads its own, afresh): what the destructor lets
  // go goes, and the table holds the built-in folder variables again.
  void start_over();

  // The resources the installer reads of itself, from an installer file parsed once:
  // the first of each type and number, in whatever language; none from a tree that
  // does not read. The session's own until it goes (or the next call).
  void read_own_resources(const PeFile& file);

  // The shell folders (CSIDL -> path) the folder variables take, as a machine's shell
  // gives them.
  void use_shell_folders(const std::map<int, std::u16string>& folders);

  // The script, unpacked from a stored blob as the installer unpacks its own.
  tv::UnpackError unpack(const uint8_t* blob, uint32_t n, uint32_t key);
  // The script the maker has just written, lent for the session's life (the shortcuts
  // check splits its text and puts it back).
  void borrow_script(std::vector<uint8_t>& script);
  // The loading chain of the install dialog on that script: header check, saved
  // cursor, first reading of the variables section. "" when the installer goes on;
  // else why it stops (a refused version leaves the rest readable: version_refused()).
  std::string load();
  int32_t version() const { return version_; }
  bool version_refused() const { return version_refused_; }

  // The install sequence's reading for the chosen folder: "{App}" := folder, the
  // variables section read again. False for a damaged section.
  bool choose_folder(const std::u16string& folder);

  // The installer's own check of every path (install/path_check.h), made as the
  // install button makes it, right after load(): every finding and where it lies, and
  // how long an install folder may be (a longer one is refused; the most the install
  // dialog takes when no path lies below "{App}"), or why the installer refuses the
  // package (the damaged-package box) and room 0.
  PathJudgement judge_paths();

  // The variable table, as the installer's own readers use it.
  void define(const std::u16string& name, const std::u16string& value_template);
  bool defines(const std::u16string& name) const;
  // templ expanded with the current table, or nothing where the installer's own
  // expansion gives none.
  std::optional<std::u16string> expand(const std::u16string& templ) const;
  // A variable's current value; nothing when it is not defined or has none.
  std::optional<std::u16string> value_of(const std::u16string& name) const;
  // Why templ does not expand ("" when it does): the installer's verdict
  // (variables/expand.h) worded: an unclosed "{", a variable it does not know (then
  // *unknown, "{Name}"), or its length.
  std::string worded_expansion(const std::u16string& templ, std::u16string* unknown) const;
  std::string worded_expansion(const std::u16string& templ) const {
    std::u16string unknown;
    return worded_expansion(templ, &unknown);
  }

  // The installer's message boxes so far, in order.
  const std::vector<std::u16string>& messages() const { return messages_; }
  // why, and the first message the installer showed for it:
  // why + ' (the installer shows "..." and stops)'; why alone when it showed none.
  std::string explained(const std::string& why) const;

 private:
  bool owned_ = false, borrowed_ = false;
  int32_t version_ = 0;
  bool version_refused_ = false;
  std::vector<std::u16string> messages_;
  std::u16string folder_;
};

// The product's names as the installer reads them of its own resources, while a
// session is alive (read_own_resources).
ProductNames product_names();

}  // namespace tvpack
